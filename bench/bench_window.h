#pragma once

#include "fake_services.h"

#include <cstdio>
#include <memory>

namespace bench {

// A refusal would open a modal box and stop the run: here it is printed and the run goes
// on.
inline std::unique_ptr<RecordingServices> windowServices()
{
    auto services = std::make_unique<RecordingServices>();
    services->whileOpen = [](const QString &text) { std::fprintf(stderr, "message box: %s\n", qPrintable(text)); };
    return services;
}

} // namespace bench
