#pragma once

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include "support/captured_log.h"

#include <regex>
#include <string>

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// The config.xml that Config reads and writes.
inline juce::File config_file()
{
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile).getSiblingFile("config.xml");
}
