// AvModule: the program's one AvSystem.
#pragma once

#include "output/av_system.h"

// The shared AvSystem, made on the first call; every caller gets the same.
AvSystem& GetAvSystem();
