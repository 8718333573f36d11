#include "output/av_module.h"

AvSystem& GetAvSystem() {
    static AvSystem system;
    return system;
}
