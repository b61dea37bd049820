#include "ScaleBench.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace ScaleBench {

double sqliteCliMs(const QString &file, const QString &sql)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (tool.isEmpty())
        return -1;
    QProcess p;
    p.start(tool, { QStringLiteral("-readonly"), file });
    p.write(".timer on\n.output /dev/null\n");
    p.write(sql.toUtf8() + ";\n");
    p.closeWriteChannel();
    p.waitForFinished(-1);
    static const QRegularExpression real(QStringLiteral("Run Time: real ([0-9.]+)"));
    const QRegularExpressionMatch m = real.match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toDouble() * 1000 : -1;
}

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
