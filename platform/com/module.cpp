#include "com/module.h"

ComModule& ComModule::Instance() {
    static ComModule module;
    return module;
}
