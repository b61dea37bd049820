#include "reports/MapaEcos.h"

#include "app/Main.h"
#include "data/DM.h"
#include "reports/StatisticsPage.h"
#include "reports/SummaryReport.h"

#include <QCheckBox>
#include "platform/widgets/DateEdit.h"

TMapaEco *MapaEco = nullptr;

TMapaEco::TMapaEco(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MapaEco"));
    setWindowTitle(QStringLiteral("Relação de Eco's por médico"));
    SummaryReport::Options options;
    options.types = [] { return MainForm && MainForm->StatisticsPage1->CheckBox1->isChecked(); };
    options.from = [] { return MainForm ? MainForm->Data1->date() : QDate(); };
    options.to = [] { return MainForm ? MainForm->Data2->date() : QDate(); };
    Report = new SummaryReport(SummaryReport::Kind::ByDoctor, std::move(options), this);
    TDataModule1::bindWhenLoaded(this,
                                 [this](TDataModule1 &dm) { Report->setDataset(dm.QueryStat); });
}

TMapaEco::~TMapaEco()
{
    if (MapaEco == this)
        MapaEco = nullptr;
}
