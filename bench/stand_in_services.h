#pragma once

#include "bench_common.h"

#include "platform/window_services.h"

#include <QString>

#include <cstdio>

namespace bench {

// A refusal would otherwise open a modal box and stop the run: here it is counted and
// printed, and the busy pointer is left alone.
class StandInServices : public WindowServices
{
public:
    void MessageBox(const QString &text) override
    {
        ++messages;
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
    }
    void setBusy(bool) override {}
    double clockSeconds() const override { return nowSeconds(); }

    int messages = 0;
};

} // namespace bench
