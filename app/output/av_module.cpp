#include "av_module.h"

#include <cstdio>
#include <memory>
#include <new>

#include "app_error.h"

namespace {
struct Module {
    std::unique_ptr<AvSystem> system;
    bool reported = false;  // the error is shown once per run
    std::function<void(const std::string&)> reporter;
};
Module& TheModule() {
    static Module m;
    return m;
}
}  // namespace

AvSystem* GetAvSystem() {
    Module& m = TheModule();
    if (!m.system) {
        m.system.reset(new (std::nothrow) AvSystem);
        if (!m.system && !m.reported) {
            m.reported = true;
            if (m.reporter)
                m.reporter("Out of memory");
            else
                std::fprintf(stderr, "Out of memory\n");
        }
    }
    return m.system.get();
}

AvSystem& TheAvSystem() {
    AvSystem* av = GetAvSystem();
    if (!av) throw AppError(7, "Out of memory");
    return *av;
}

void SetAvSystemErrorReporter(std::function<void(const std::string&)> reporter) {
    TheModule().reporter = std::move(reporter);
}
