#include "reports/MapaEcos.h"

TMapaEco *MapaEco = nullptr;

TMapaEco::TMapaEco(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MapaEco"));
    setWindowTitle(QStringLiteral("Relação de Eco's por médico"));
}

TMapaEco::~TMapaEco()
{
    if (MapaEco == this)
        MapaEco = nullptr;
}
