#pragma once

#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <functional>
#include <memory>

class TDataModule1;
class TMainForm;

// The main window and the data module over a practice with the given sample rows, made in the
// start-up order: the window first, so that its controls bind when the module loads. Windows
// that bind as well are made by beforeLoad, between the two; the test destroys them before the
// fixture. Undone in reverse order.
class MainWindowFixture
{
public:
    explicit MainWindowFixture(const QString &sampleSql,
                               const std::function<void()> &beforeLoad = {});
    ~MainWindowFixture();
    MainWindowFixture(const MainWindowFixture &) = delete;
    MainWindowFixture &operator=(const MainWindowFixture &) = delete;

    [[nodiscard]] TestEnvironment *env() const { return m_env.get(); }
    [[nodiscard]] TMainForm *form() const { return m_form.get(); }
    [[nodiscard]] TDataModule1 *module() const { return m_module.get(); }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TDataModule1> m_module;
};
