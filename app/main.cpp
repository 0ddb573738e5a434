#include "app/SolvanterLauncher.h"

START_JUCE_APPLICATION(SolvanterLauncher)
