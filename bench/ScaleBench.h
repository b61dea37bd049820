#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TDataModule1;
class TMainForm;

// What the timed programs over the scale data set share. Each sets QT_QPA_PLATFORM=offscreen
// before making its QApplication.
namespace ScaleBench {

// The data set's directory: TALUVO_BENCH_DATA, or "bench-data".
[[nodiscard]] QString dataDirectory();

// The data set made the alias's directory, message boxes recorded instead of shown, then the
// main window (when asked for) and the data module, in the start-up order. Undone in reverse.
class Practice
{
public:
    explicit Practice(bool withMainWindow);
    ~Practice();
    Practice(const Practice &) = delete;
    Practice &operator=(const Practice &) = delete;

    [[nodiscard]] TMainForm *form() const { return m_form.get(); }
    [[nodiscard]] TDataModule1 *module() const { return m_module.get(); }

private:
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TDataModule1> m_module;
};

// Milliseconds that step takes.
[[nodiscard]] double timed(const std::function<void()> &step);

// What the sqlite3 command-line tool reports as "Run Time: real" for sql on file, output to
// /dev/null, in milliseconds; negative when the tool is not there.
[[nodiscard]] double sqliteCliMs(const QString &file, const QString &sql);

// Timings of one measure, printed as median, minimum and maximum.
struct Figures
{
    std::vector<double> ms;
    void add(double value) { ms.push_back(value); }
    [[nodiscard]] double median() const;
    void print(const char *what) const;
};

} // namespace ScaleBench
