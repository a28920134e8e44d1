#pragma once

// The shared start of the benchmark programs: headless, silent audio, the
// program's picture formats and media devices registered, as the program does.
#include "Mci.h"
#include "Picture.h"
#include "WebBrowser.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#define ORVEX_BENCHMARK_MAIN()                                                                                         \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                                   \
        if (qEnvironmentVariableIsEmpty("ORVEX_AUDIO_SINK"))                                                           \
            qputenv("ORVEX_AUDIO_SINK", "fakesink");                                                                   \
        orvex::PrepareBrowserEngine();                                                                                 \
        QApplication app(argc, argv);                                                                                  \
        orvex::RegisterStandardPictureFormats();                                                                       \
        orvex::MciRegisterStandardDrivers();                                                                           \
        benchmark::Initialize(&argc, argv);                                                                            \
        benchmark::RunSpecifiedBenchmarks();                                                                           \
        benchmark::Shutdown();                                                                                         \
        return 0;                                                                                                      \
    }
