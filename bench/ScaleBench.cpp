#include "ScaleBench.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace ScaleBench {

QString dataDirectory()
{
    return qEnvironmentVariable("TALUVO_BENCH_DATA", QStringLiteral("bench-data"));
}

Practice::Practice(bool withMainWindow)
{
    Database::setCommandLineDirectory(dataDirectory());
    Dialogs::install(std::make_unique<DialogRecorder>());
    if (withMainWindow) {
        m_form = std::make_unique<TMainForm>();
        MainForm = m_form.get();
    }
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
}

Practice::~Practice()
{
    m_form.reset();
    MainForm = nullptr;
    m_module.reset();
    DataModule1 = nullptr;
}

double timed(const std::function<void()> &step)
{
    QElapsedTimer t;
    t.start();
    step();
    return double(t.nsecsElapsed()) / 1e6;
}

double Figures::median() const
{
    if (ms.empty())
        return 0;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

void Figures::print(const char *what) const
{
    if (ms.empty())
        return;
    const auto [low, high] = std::minmax_element(ms.begin(), ms.end());
    std::printf("%-44s %5zu runs: median %8.3f ms, min %8.3f ms, max %8.3f ms\n", what, ms.size(),
                median(), *low, *high);
}

} // namespace ScaleBench
