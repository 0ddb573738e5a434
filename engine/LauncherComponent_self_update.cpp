// Placeholder until the launcher self-update lands: no update is ever due.
#include "engine/LauncherComponent.h"

bool LauncherComponent::update_launcher() { return true; }
