#include "reports/UnitRepSS.h"

#include "app/Main.h"
#include "data/DM.h"
#include "reports/StatisticsPage.h"
#include "reports/SummaryReport.h"

#include <QCheckBox>
#include "platform/widgets/DateEdit.h"

TMapaSS *MapaSS = nullptr;

TMapaSS::TMapaSS(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MapaSS"));
    setWindowTitle(QStringLiteral("Relação de Eco's por Sistema de Saúde"));
    SummaryReport::Options options;
    options.types = [] { return MainForm && MainForm->StatisticsPage1->CheckBox2->isChecked(); };
    options.from = [] { return MainForm ? MainForm->Data1->date() : QDate(); };
    options.to = [] { return MainForm ? MainForm->Data2->date() : QDate(); };
    Report = new SummaryReport(SummaryReport::Kind::ByHealthSystem, std::move(options), this);
    TDataModule1::bindWhenLoaded(this,
                                 [this](TDataModule1 &dm) { Report->setDataset(dm.QueryStat); });
}

TMapaSS::~TMapaSS()
{
    if (MapaSS == this)
        MapaSS = nullptr;
}
