#pragma once

#include <juce_core/juce_core.h>

#include "engine/ZipDirectory.h"

// Checks, before anything is written, that unzipping `zip` into `root` writes nothing outside
// `build`: every entry's path lies inside it and passes through no link entry of the archive, and
// every link entry points inside it, by a relative path that passes through no other link. Names
// and links are compared without case, as Windows does. On failure `failedIndex` is the entry at
// fault. Worker thread.
juce::Result check_archive_layout(juce::ZipFile& zip, const ZipDirectory& directory, const juce::File& root,
                                  const juce::File& build, int& failedIndex);
