#include "reports/UnitRepSS.h"

TMapaSS *MapaSS = nullptr;

TMapaSS::TMapaSS(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MapaSS"));
    setWindowTitle(QStringLiteral("Relação de Eco's por Sistema de Saúde"));
}

TMapaSS::~TMapaSS()
{
    if (MapaSS == this)
        MapaSS = nullptr;
}
