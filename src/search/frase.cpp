#include "search/frase.h"

TForm1 *Form1 = nullptr;

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(
        QStringLiteral("Selecione a Frase a inserir nas Conclusões...   ESC p/ saír..."));
    resize(415, 224);
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}
