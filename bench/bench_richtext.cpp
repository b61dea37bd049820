// Loading a long conclusion, as the editor and the report do: RTF into a QTextDocument, then the
// layout at the editor's width. The RTF is made here, about 50 KB of paragraphs with mixed runs.
#include "platform/richtext/RichText.h"
#include "platform/richtext/RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QGuiApplication>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

QString conclusionRtf(int targetSize)
{
    static const char *const Phrases[] = {
        "Ventr\\'edculo esquerdo de dimens\\'f5es normais, ",
        "com espessura parietal aumentada ",
        "e fun\\'e7\\'e3o sist\\'f3lica global preservada",
        "Aur\\'edcula esquerda ligeiramente dilatada (\\u8805?45 mm). ",
        "Insufici\\'eancia mitral ligeira, ",
        "sem repercuss\\'e3o hemodin\\'e2mica. ",
        "Padr\\'e3o de enchimento do tipo altera\\'e7\\'e3o do relaxamento. ",
        "Peric\\'e1rdio sem derrame. ",
    };
    QString rtf
        = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang2070{\\fonttbl{\\f0\\fnil"
                         "\\fcharset0 Arial;}{\\f1\\fnil\\fcharset0 Times New Roman;}}\r\n"
                         "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}\r\n"
                         "\\viewkind4\\uc1\\pard\\f0\\fs20 ");
    int n = 0;
    while (rtf.size() < targetSize) {
        const int p = n % 8;
        if (p == 0)
            rtf += QStringLiteral("\\pard%1 ")
                       .arg(n % 24 == 0 ? QStringLiteral("\\qc") : QString());
        switch (n % 5) {
        case 0:
            rtf += QStringLiteral("\\b %1\\b0 ").arg(QLatin1StringView(Phrases[p]));
            break;
        case 1:
            rtf += QStringLiteral("\\i\\cf1 %1\\cf0\\i0 ").arg(QLatin1StringView(Phrases[p]));
            break;
        case 2:
            rtf += QStringLiteral("\\ul %1\\ulnone ").arg(QLatin1StringView(Phrases[p]));
            break;
        case 3:
            rtf += QStringLiteral("\\f1\\fs24 %1\\f0\\fs20 ").arg(QLatin1StringView(Phrases[p]));
            break;
        default:
            rtf += QStringLiteral("%1\\tab ").arg(QLatin1StringView(Phrases[p]));
            break;
        }
        if (p == 7)
            rtf += QStringLiteral("\\par\r\n");
        ++n;
    }
    return rtf + QStringLiteral("\\par\r\n}\r\n");
}

const QString &conclusion()
{
    static const QString rtf = conclusionRtf(50 * 1024);
    return rtf;
}

void BM_ReadConclusion(benchmark::State &state)
{
    for (auto _ : state) {
        QTextDocument document;
        document.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
        RtfReader reader;
        if (!reader.read(conclusion(), document))
            state.SkipWithError("refused");
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.counters["rtf_bytes"] = double(conclusion().size());
}

void BM_LoadAndLayoutConclusion(benchmark::State &state)
{
    for (auto _ : state) {
        QTextDocument document;
        document.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
        document.setTextWidth(700);
        RichText::load(document, conclusion());
        benchmark::DoNotOptimize(document.documentLayout()->documentSize());
    }
    QTextDocument document;
    RichText::load(document, conclusion());
    state.counters["paragraphs"] = document.blockCount();
    state.counters["characters"] = document.characterCount();
}

void BM_WriteConclusion(benchmark::State &state)
{
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
    RichText::load(document, conclusion());
    for (auto _ : state)
        benchmark::DoNotOptimize(RichText::toRtf(document));
}

QByteArray repeat(const QByteArray &piece, int times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

QByteArray fontTable(int entries)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
    for (int i = 0; i < entries; ++i)
        rtf += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 Face" + QByteArray::number(i)
            + ";}";
    return rtf + "}\\f1 x}";
}

// What a memo may hold beyond what any editor writes: each must end, in a document or an error,
// well within a second.
struct Hostile
{
    const char *name;
    QByteArray rtf;
};

const std::vector<Hostile> &hostileInputs()
{
    static const std::vector<Hostile> inputs {
        { "100000 nested groups",
          "{\\rtf1 " + repeat("{", 100000) + "x" + repeat("}", 100000) + "}" },
        { "32761 font-table entries", fontTable(32761) },
        { "100000-digit parameter", "{\\rtf1 \\fs" + QByteArray(100000, '9') + " a}" },
        { "20000 paragraphs", "{\\rtf1 " + repeat("x\\par ", 20000) + "}" },
        { "50000 format changes", "{\\rtf1 " + repeat("\\b a\\b0 b", 50000) + "}" },
        { "100000 unicode escapes",
          "{\\rtf1\\uc1 " + repeat("\\u-10179?\\u-8704?", 50000) + "}" },
        { "a million ignored groups", "{\\rtf1 " + repeat("{\\*\\x}", 1000000) + "a}" },
    };
    return inputs;
}

void BM_ReadHostile(benchmark::State &state)
{
    const Hostile &input = hostileInputs().at(size_t(state.range(0)));
    state.SetLabel(input.name);
    for (auto _ : state) {
        QTextDocument document;
        RtfReader reader;
        benchmark::DoNotOptimize(reader.read(input.rtf, document));
    }
    state.counters["rtf_bytes"] = double(input.rtf.size());
}

} // namespace

BENCHMARK(BM_ReadConclusion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadAndLayoutConclusion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteConclusion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadHostile)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
