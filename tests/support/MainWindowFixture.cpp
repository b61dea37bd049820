#include "support/MainWindowFixture.h"

#include "app/Main.h"
#include "data/DM.h"

MainWindowFixture::MainWindowFixture(const QString &sampleSql,
                                     const std::function<void()> &beforeLoad)
    : m_env(std::make_unique<TestEnvironment>())
    , m_dir(std::make_unique<PracticeDirectory>(sampleSql))
    , m_form(std::make_unique<TMainForm>())
{
    MainForm = m_form.get();
    if (beforeLoad)
        beforeLoad();
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
}

MainWindowFixture::~MainWindowFixture()
{
    m_form.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}
