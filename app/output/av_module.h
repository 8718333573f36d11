// The program's one AvSystem.
#pragma once

#include <functional>
#include <string>

#include "av_system.h"

// Made on the first call; null after an error in making it, which is
// reported once per run through the reporter.
AvSystem* GetAvSystem();
// The same for callers that cannot go on without it: error 7 when it is null.
AvSystem& TheAvSystem();

// How GetAvSystem shows its error (the program installs a message box).
void SetAvSystemErrorReporter(std::function<void(const std::string&)> reporter);
