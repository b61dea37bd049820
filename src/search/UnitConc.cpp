#include "search/UnitConc.h"

TFormConc *FormConc = nullptr;

TFormConc::TFormConc(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormConc"));
    setWindowTitle(QStringLiteral("Conclusões Standard"));
    resize(502, 312);
}

TFormConc::~TFormConc()
{
    if (FormConc == this)
        FormConc = nullptr;
}
