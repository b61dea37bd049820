#include "search/Pesq.h"

TFormPesqAV *FormPesqAV = nullptr;

TFormPesqAV::TFormPesqAV(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormPesqAV"));
    setWindowTitle(QStringLiteral("Pesquisa Avançada"));
    resize(437, 326);
}

TFormPesqAV::~TFormPesqAV()
{
    if (FormPesqAV == this)
        FormPesqAV = nullptr;
}
