#include "data/DemoData.h"

#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqliteStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <charconv>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// splitmix64 with integer choices only: the standard distributions differ between libraries, and
// the same seed must give the same practice everywhere.
class Random
{
public:
    explicit Random(quint64 seed)
        : m_state(seed)
    { }

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 1 ? 0 : int(next() % quint64(n)); }
    int range(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template<class T> const T &pick(const std::vector<T> &items)
    {
        return items[size_t(below(int(items.size())))];
    }
    // Index into weights, chosen in proportion to them.
    int weighted(std::initializer_list<int> weights) { return weightedIn(weights); }
    int weighted(const std::vector<int> &weights) { return weightedIn(weights); }

private:
    template<class Weights> int weightedIn(const Weights &weights)
    {
        int total = 0;
        for (int w : weights)
            total += w;
        int roll = below(total);
        int index = 0;
        for (int w : weights) {
            if (roll < w)
                return index;
            roll -= w;
            ++index;
        }
        return index - 1;
    }

    quint64 m_state;
};

[[noreturn]] void fail(sqlite3 *db)
{
    databaseError(QString::fromUtf8(sqlite3_errmsg(db)));
}

// A reused INSERT of every column but the autoincrement key. Texts are bound without copying, so
// a bound buffer must stay unchanged until run(). On PostgreSQL the rows go by COPY in large
// batches, the autoincrement key numbered here (the tables start empty); finish() sends the last.
class Insert
{
public:
    Insert(Connection &conn, const char *tableName)
        : m_db(conn.sqlite())
        , m_conn(conn)
    {
        const TableDef *table = Schema::table(QLatin1String(tableName));
        m_table = table->name;
        QStringList marks;
        for (const ColumnDef &c : table->columns) {
            if (c.type == FieldType::AutoInc) {
                m_autoInc = c.name;
                continue;
            }
            m_columns.append(c.name);
            marks.append(QStringLiteral("?"));
        }
        if (!m_db) {
            m_values.resize(size_t(m_columns.size()));
            m_nulls.assign(size_t(m_columns.size()), true);
            return;
        }
        const QString sql
            = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(table->name, m_columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &m_stmt, nullptr) != SQLITE_OK)
            fail(m_db);
    }
    ~Insert() { sqlite3_finalize(m_stmt); }
    Insert(const Insert &) = delete;
    Insert &operator=(const Insert &) = delete;

    [[nodiscard]] int param(const char *column) const
    {
        for (int i = 0; i < m_columns.size(); ++i) {
            if (m_columns.at(i).compare(QLatin1String(column), Qt::CaseInsensitive) == 0)
                return i + 1;
        }
        databaseError(QStringLiteral("No column '%1'").arg(QLatin1String(column)));
    }

    void integer(int p, qint64 v)
    {
        if (!m_db)
            return set(p, QByteArray::number(v));
        check(sqlite3_bind_int64(m_stmt, p, v));
    }
    void real(int p, double v)
    {
        if (!m_db) {
            char buffer[32];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
            return set(p, QByteArray(buffer, int(end - buffer)));
        }
        check(sqlite3_bind_double(m_stmt, p, v));
    }
    void text(int p, const char *s, int size)
    {
        if (!m_db)
            return set(p, size < 0 ? QByteArray(s) : QByteArray(s, size));
        check(sqlite3_bind_text(m_stmt, p, s, size, SQLITE_STATIC));
    }
    void text(int p, const QByteArray &s) { text(p, s.constData(), int(s.size())); }
    void text(int p, const std::string &s) { text(p, s.data(), int(s.size())); }

    // Writes the row and leaves every parameter NULL for the next one.
    qint64 run()
    {
        if (!m_db)
            return copyRow();
        if (sqlite3_step(m_stmt) != SQLITE_DONE) {
            sqlite3_reset(m_stmt);
            fail(m_db);
        }
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        return sqlite3_last_insert_rowid(m_db);
    }

    // Sends the rows still held (PostgreSQL) and moves the key's sequence past them.
    void finish()
    {
        if (m_db)
            return;
        flush();
        if (!m_autoInc.isEmpty() && m_next > 1)
            m_conn.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), %3)")
                            .arg(m_table, m_autoInc.toLower())
                            .arg(m_next - 1));
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(m_db);
    }

    void set(int p, QByteArray value)
    {
        m_values[size_t(p - 1)] = std::move(value);
        m_nulls[size_t(p - 1)] = false;
    }

    static void appendEscaped(QByteArray &out, const QByteArray &value)
    {
        for (const char c : value) {
            switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
            }
        }
    }

    qint64 copyRow()
    {
        const qint64 id = m_next++;
        if (!m_autoInc.isEmpty()) {
            m_buffer += QByteArray::number(id);
            m_buffer += '\t';
        }
        for (size_t i = 0; i < m_values.size(); ++i) {
            if (i > 0)
                m_buffer += '\t';
            if (m_nulls[i])
                m_buffer += "\\N";
            else
                appendEscaped(m_buffer, m_values[i]);
            m_nulls[i] = true;
        }
        m_buffer += '\n';
        if (m_buffer.size() > 8 * 1024 * 1024)
            flush();
        return id;
    }

    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        QStringList columns = m_columns;
        if (!m_autoInc.isEmpty())
            columns.prepend(m_autoInc);
        PgConnection *pg = m_conn.pg();
        pg->finishStreaming();
        PGconn *conn = pg->native();
        const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                                   .arg(m_table, columns.join(QLatin1Char(',')))
                                   .toUtf8();
        PGresult *r = PQexec(conn, sql.constData());
        if (PQresultStatus(r) != PGRES_COPY_IN)
            pg->fail(r);
        PQclear(r);
        if (PQputCopyData(conn, m_buffer.constData(), int(m_buffer.size())) != 1
            || PQputCopyEnd(conn, nullptr) != 1)
            pg->fail(nullptr);
        m_buffer.clear();
        r = PQgetResult(conn);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            pg->fail(r);
        PQclear(r);
        while ((r = PQgetResult(conn)))
            PQclear(r);
    }

    sqlite3 *m_db;
    Connection &m_conn;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_table;
    QString m_autoInc;
    QStringList m_columns;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_nulls;
    QByteArray m_buffer;
    qint64 m_next = 1;
};

// Rich text as the standard rich-text control writes it: code page 1252 with \'hh escapes.
// In the source text '*' toggles bold and '\n' ends a paragraph.
QByteArray rtf(const char *utf8)
{
    QByteArray out("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                   "\\viewkind4\\uc1\\pard\\lang2070\\f0\\fs20 ");
    bool bold = false;
    const QString text = QString::fromUtf8(utf8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'*') {
            out += bold ? "\\b0 " : "\\b ";
            bold = !bold;
        } else if (u == u'\n') {
            out += "\\par\r\n";
        } else if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u < 0x80) {
            out += char(u);
        } else if (u >= 0xA0 && u <= 0xFF) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\'%02x", unsigned(u));
            out += escape;
        } else {
            out += '?';
        }
    }
    out += "\\par\r\n}\r\n";
    return out;
}

QByteArray upper(const char *utf8)
{
    return QString::fromUtf8(utf8).toUpper().toUtf8();
}

// Words of a space-separated list.
std::vector<QByteArray> utf8Words(const char *words)
{
    std::vector<QByteArray> out;
    for (const QByteArray &w : QByteArray(words).split(' '))
        out.push_back(w);
    return out;
}

std::vector<QByteArray> utf8List(std::initializer_list<const char *> items)
{
    std::vector<QByteArray> out;
    for (const char *s : items)
        out.emplace_back(s);
    return out;
}

const std::vector<QByteArray> &maleNames()
{
    static const std::vector<QByteArray> names
        = utf8Words("João José António Manuel Francisco Joaquim Carlos Luís Paulo Pedro Rui "
                    "Jorge Miguel Fernando Ricardo Nuno Tiago Duarte Vasco Henrique Artur "
                    "Alberto Armando Mário Sérgio Bruno Hugo Diogo Gonçalo Rodrigo Álvaro "
                    "Afonso");
    return names;
}

const std::vector<QByteArray> &femaleNames()
{
    static const std::vector<QByteArray> names
        = utf8Words("Maria Ana Isabel Teresa Helena Fernanda Rosa Conceição Fátima Graça "
                    "Luísa Margarida Joana Catarina Sofia Inês Rita Marta Cláudia Patrícia "
                    "Sandra Carla Paula Susana Cristina Lurdes Amélia Beatriz Leonor Mariana "
                    "Filomena Glória");
    return names;
}

const std::vector<QByteArray> &surnames()
{
    static const std::vector<QByteArray> names
        = utf8Words("Silva Santos Ferreira Pereira Oliveira Costa Rodrigues Martins Jesus "
                    "Sousa Fernandes Gonçalves Gomes Lopes Marques Alves Almeida Ribeiro "
                    "Pinto Carvalho Teixeira Moreira Correia Mendes Nunes Soares Vieira "
                    "Monteiro Cardoso Rocha Neves Coelho Cruz Cunha Pires Ramos Reis Simões "
                    "Antunes Matos Fonseca Machado Araújo Barbosa Tavares Lourenço Castro "
                    "Figueiredo Azevedo Freitas Baptista Valente Moura Magalhães Campos "
                    "Vasconcelos Brandão Amaral Quintela Sequeira");
    return names;
}

std::vector<QByteArray> upperList(const std::vector<QByteArray> &items)
{
    std::vector<QByteArray> out;
    for (const QByteArray &s : items)
        out.push_back(upper(s.constData()));
    return out;
}

struct HealthSystem
{
    const char *sigla;
    const char *entidade;
    bool active;
    int weight; // share of the patients
    int patientShare; // PERUTENTE, percent paid by the patient (-1: a usual co-payment)
};

const std::vector<HealthSystem> &healthSystems()
{
    static const std::vector<HealthSystem> list = {
        { "Particular", "Particular (sem sistema de saúde)", true, 18, 100 },
        { "SNS", "Serviço Nacional de Saúde", true, 14, -1 },
        { "ADSE", "Instituto de Protecção e Assistência na Doença", true, 22, -1 },
        { "SAMS", "Serviços de Assistência Médico-Social", true, 8, -1 },
        { "ADM", "Assistência na Doença aos Militares", true, 4, -1 },
        { "SSMJ", "Serviços Sociais do Ministério da Justiça", true, 3, -1 },
        { "Lusomed", "Lusomed - Seguros de Saúde, S.A.", true, 8, -1 },
        { "VidaSeg", "VidaSeg Companhia de Seguros", true, 6, -1 },
        { "Atlântica", "Atlântica Seguros Saúde", true, 5, -1 },
        { "Protecta", "Protecta Planos de Saúde", true, 5, -1 },
        { "MedLar", "MedLar Assistência Médica (extinto)", false, 3, -1 },
        { "Clinicard", "Clinicard - Cartão de Saúde", true, 4, -1 },
    };
    return list;
}

struct Phrase
{
    const char *frase;
    const char *outros;
};

const std::vector<Phrase> &phrases()
{
    static const std::vector<Phrase> list = {
        { "Ventrículo esquerdo de dimensões e espessuras parietais normais.", "VE normal" },
        { "Função sistólica global do ventrículo esquerdo preservada.", "FSG normal" },
        { "Função sistólica global do VE ligeiramente deprimida.", "FSG ligeira" },
        { "Função sistólica global do VE moderadamente deprimida.", "FSG moderada" },
        { "Hipertrofia concêntrica ligeira do ventrículo esquerdo.", "HVE" },
        { "Padrão de relaxamento anormal do ventrículo esquerdo.", "Disfunção diastólica I" },
        { "Aurícula esquerda ligeiramente dilatada.", "AE" },
        { "Cavidades direitas de dimensões normais.", "" },
        { "Insuficiência mitral ligeira.", "IM" },
        { "Insuficiência mitral moderada, de jacto excêntrico.", "IM moderada" },
        { "Prolapso do folheto posterior da válvula mitral.", "PVM" },
        { "Esclerose da válvula aórtica, sem estenose significativa.", "" },
        { "Estenose aórtica moderada.", "EA" },
        { "Insuficiência tricúspide mínima, fisiológica.", "IT" },
        { "Pressão sistólica da artéria pulmonar estimada dentro da normalidade.", "PSAP" },
        { "Derrame pericárdico de pequeno volume, sem compromisso hemodinâmico.", "Derrame" },
        { "Alterações da contractilidade segmentar do território da descendente anterior.",
          "Isquemia DA" },
        { "Prótese valvular aórtica normofuncionante.", "Prótese" },
        { "Sem imagens sugestivas de trombos intracavitários.", "" },
        { "Aconselha-se reavaliação ecocardiográfica dentro de um ano.", "Controlo" },
    };
    return list;
}

struct StandardConclusion
{
    const char *nome;
    const char *text;
};

const std::vector<StandardConclusion> &standardConclusions()
{
    static const std::vector<StandardConclusion> list = {
        { "Ecocardiograma normal",
          "*Ecocardiograma normal.*\nCavidades cardíacas de dimensões normais. "
          "Função sistólica "
          "global do ventrículo esquerdo preservada. Válvulas sem alterações." },
        { "Hipertrofia ventricular esquerda",
          "*Hipertrofia concêntrica do ventrículo esquerdo*, com função sistólica global "
          "preservada.\nPadrão de relaxamento anormal." },
        { "Miocardiopatia dilatada",
          "Dilatação do ventrículo esquerdo com *depressão grave* da função "
          "sistólica global.\n"
          "Insuficiência mitral funcional." },
        { "Insuficiência mitral",
          "Insuficiência mitral *moderada*. Aurícula esquerda dilatada. Função sistólica "
          "global do ventrículo esquerdo preservada." },
        { "Estenose aórtica",
          "Válvula aórtica calcificada, com *estenose moderada*.\nHipertrofia ligeira do "
          "ventrículo esquerdo." },
        { "Derrame pericárdico",
          "Derrame pericárdico de pequeno volume, sem sinais de compromisso hemodinâmico." },
    };
    return list;
}

// The four standard exam kinds, as the exam header offers them.
const std::vector<QByteArray> &examKinds()
{
    static const std::vector<QByteArray> kinds
        = utf8List({ "Modo M e Bidimensional", "Modo M e Bidimensional com Doppler",
                     "Modo M e Bid. / Doppler: Pulsado, Contínuo, Côr",
                     "Doppler : Pulsado + Contínuo + Côr" });
    return kinds;
}

// The logical columns, in table order, and the clinical pictures an exam is drawn from.
enum Finding {
    OrdSeg,
    Dcc,
    Dccae,
    Dccad,
    Dccvd,
    Dccve,
    Vcn,
    Vceem,
    Vceea,
    Vceep,
    Vceet,
    Vcmm,
    Vcma,
    Vcmp,
    VcmT,
    Cvn,
    Cvd,
    Cvm,
    Cvc,
    Asd,
    Pn,
    Pdp,
    Pdm,
    Pdg,
    Econ,
    Ecoa,
    FindingCount
};
const char *const findingColumns[FindingCount]
    = { "OrdSeg", "Dcc",   "Dccae", "Dccad", "Dccvd", "Dccve", "Vcn",  "Vceem", "Vceea",
        "Vceep",  "Vceet", "Vcmm",  "Vcma",  "Vcmp",  "VcmT",  "Cvn",  "Cvd",   "Cvm",
        "Cvc",    "Asd",   "Pn",    "Pdp",   "Pdm",   "Pdg",   "Econ", "Ecoa" };

enum Measure {
    Vd,
    Ved,
    Ves,
    Fenc,
    Fe,
    Pp,
    Siv,
    Ae,
    Ao,
    GradAoMax,
    GradAoMean,
    Areavm,
    Vptac,
    Vptactevd,
    VmGradMax,
    VmGradMean,
    MeasureCount
};
const char *const measureColumns[MeasureCount] = {
    "Vd", "Ved",         "Ves",         "Fenc",   "Fe",    "Pp",        "Siv",      "Ae",
    "Ao", "Gradveaomax", "Gradveaomin", "Areavm", "Vptac", "Vptactevd", "VMGradMx", "VMGradMd"
};

enum Picture {
    Normal,
    Hypertrophy,
    Dilated,
    MitralRegurgitation,
    AorticStenosis,
    Effusion,
    Ischaemic,
    AtrialDilatation,
    PictureCount
};
const std::vector<int> pictureWeights = { 35, 15, 8, 12, 8, 5, 10, 7 };

struct PictureTexts
{
    const char *conclusions[2];
    const char *valves; // observation on the valves, or nullptr
};

const PictureTexts pictureTexts[PictureCount] = {
    { { "Ecocardiograma dentro dos parâmetros da normalidade.",
        "*Conclusão:* estudo ecocardiográfico normal. Função sistólica global do ventrículo "
        "esquerdo preservada." },
      nullptr },
    { { "Hipertrofia concêntrica do ventrículo esquerdo, com função sistólica global "
        "preservada.",
        "*Hipertrofia ventricular esquerda* ligeira. Padrão de relaxamento anormal do "
        "ventrículo esquerdo." },
      nullptr },
    { { "Dilatação do ventrículo esquerdo com *depressão moderada a grave* da função "
        "sistólica "
        "global.",
        "Miocardiopatia dilatada. Fracção de ejecção muito deprimida." },
      "Insuficiência mitral funcional ligeira a moderada." },
    { { "Insuficiência mitral *moderada*, com dilatação da aurícula esquerda.",
        "Prolapso do folheto posterior da válvula mitral com insuficiência ligeira." },
      "Válvula mitral com folhetos espessados; jacto de regurgitação excêntrico." },
    { { "Estenose aórtica *moderada*, válvula calcificada. Hipertrofia ligeira do ventrículo "
        "esquerdo.",
        "Esclerose valvular aórtica com gradiente transvalvular aumentado." },
      "Válvula aórtica calcificada, com abertura reduzida." },
    { { "Derrame pericárdico sem sinais de compromisso hemodinâmico.",
        "*Derrame pericárdico* ligeiro, anterior e posterior." },
      nullptr },
    { { "Alterações da contractilidade segmentar compatíveis com cardiopatia "
        "isquémica. Função "
        "sistólica global ligeiramente deprimida.",
        "Acinesia *ínfero-posterior*; hipocinesia do septo. Fracção de ejecção reduzida." },
      nullptr },
    { { "Dilatação da aurícula esquerda. Restantes cavidades de dimensões normais.",
        "Aurícula esquerda dilatada, em contexto de fibrilhação auricular." },
      nullptr },
};

const char *const followUp = "Sugere-se reavaliação dentro de um ano.";
const char *const minorValveNotes[] = {
    "Insuficiência tricúspide mínima, fisiológica.",
    "Insuficiência pulmonar mínima.",
    "Esclerose ligeira dos folhetos aórticos, sem repercussão hemodinâmica.",
};
const char *const segmentNotes[] = {
    "Situs solitus. Concordância aurículo-ventricular e ventrículo-arterial.",
    "Sem alterações da normal disposição segmentar.",
    "*Situs solitus*, levocardia.",
};

const std::vector<QByteArray> &clinicalInfo()
{
    static const std::vector<QByteArray> list = utf8List(
        { "Hipertensão arterial", "Dor torácica", "Dispneia de esforço", "Sopro cardíaco",
          "Palpitações", "Fibrilhação auricular", "Controlo", "Avaliação pré-operatória",
          "Enfarte antigo", "Insuficiência cardíaca", "Avaliação de valvulopatia", "Síncope",
          "Cansaço fácil", "Edemas dos membros inferiores" });
    return list;
}

struct Town
{
    const char *name;
    int postalLow; // first four digits of its postal codes
    int postalHigh;
};

const std::vector<Town> &towns()
{
    static const std::vector<Town> list = {
        { "Lisboa", 1000, 1990 },   { "Amadora", 2700, 2724 },
        { "Odivelas", 2675, 2675 }, { "Loures", 2670, 2674 },
        { "Sintra", 2710, 2714 },   { "Cascais", 2750, 2754 },
        { "Oeiras", 2780, 2784 },   { "Almada", 2800, 2805 },
        { "Seixal", 2840, 2845 },   { "Barreiro", 2830, 2835 },
        { "Setúbal", 2900, 2914 },  { "Vila Franca de Xira", 2600, 2600 },
        { "Mafra", 2640, 2644 },    { "Torres Vedras", 2560, 2565 },
    };
    return list;
}

const std::vector<QByteArray> &birthPlaces()
{
    static const std::vector<QByteArray> list
        = utf8List({ "Lisboa",    "Porto",      "Coimbra",        "Braga",
                     "Viseu",     "Évora",      "Faro",           "Leiria",
                     "Santarém",  "Setúbal",    "Aveiro",         "Guarda",
                     "Bragança",  "Beja",       "Castelo Branco", "Viana do Castelo",
                     "Vila Real", "Portalegre", "Funchal",        "Ponta Delgada",
                     "Luanda",    "Maputo",     "Tomar",          "Abrantes" });
    return list;
}

const std::vector<QByteArray> &streets()
{
    static const std::vector<QByteArray> list = utf8List({ "Rua das Flores",
                                                           "Avenida da República",
                                                           "Rua de Santo António",
                                                           "Rua da Escola",
                                                           "Rua do Comércio",
                                                           "Avenida da Liberdade",
                                                           "Largo da Igreja",
                                                           "Rua das Oliveiras",
                                                           "Rua do Sol",
                                                           "Travessa da Fonte",
                                                           "Rua Nova",
                                                           "Rua dos Combatentes",
                                                           "Avenida 25 de Abril",
                                                           "Rua do Pinhal",
                                                           "Rua das Amoreiras",
                                                           "Rua da Estação",
                                                           "Rua do Mercado",
                                                           "Praceta das Camélias",
                                                           "Rua da Paz",
                                                           "Estrada da Circunvalação" });
    return list;
}

struct Profession
{
    const char *male;
    const char *female;
};

const std::vector<Profession> &professions()
{
    static const std::vector<Profession> list = {
        { "Reformado", "Reformada" },
        { "Professor", "Professora" },
        { "Engenheiro", "Engenheira" },
        { "Comerciante", "Comerciante" },
        { "Motorista", "Doméstica" },
        { "Empregado de escritório", "Empregada de escritório" },
        { "Enfermeiro", "Enfermeira" },
        { "Bancário", "Bancária" },
        { "Funcionário público", "Funcionária pública" },
        { "Electricista", "Costureira" },
        { "Agricultor", "Agricultora" },
        { "Advogado", "Advogada" },
        { "Estudante", "Estudante" },
        { "Desempregado", "Desempregada" },
    };
    return list;
}

struct Person
{
    QByteArray name; // as written in lists: "Dra. Ana Sousa"
    QByteArray upperName; // as typed in the exam: "DRA. ANA SOUSA"
};

Person makePerson(Random &rng, const char *maleTitle, const char *femaleTitle)
{
    const bool female = rng.chance(50);
    QByteArray name(female ? femaleTitle : maleTitle);
    name += ' ';
    name += rng.pick(female ? femaleNames() : maleNames());
    name += ' ';
    name += rng.pick(surnames());
    return Person { name, upper(name.constData()) };
}

void appendNumber(std::string &out, int value, int width)
{
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%0*d", width, value);
    out.append(digits, size_t(n));
}

void appendDigits(std::string &out, Random &rng, int count)
{
    for (int i = 0; i < count; ++i)
        out += char('0' + rng.below(10));
}

int dateText(char *out, qint64 julianDay)
{
    int y = 0, m = 0, d = 0;
    QDate::fromJulianDay(julianDay).getDate(&y, &m, &d);
    return std::snprintf(out, 16, "%04d-%02d-%02d", y, m, d);
}

int timestampText(char *out, qint64 julianDay, int msOfDay)
{
    int y = 0, m = 0, d = 0;
    QDate::fromJulianDay(julianDay).getDate(&y, &m, &d);
    return std::snprintf(out, 32, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, msOfDay / 3600000,
                         msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000);
}

int ageInYears(qint64 birthDay, qint64 day)
{
    int by = 0, bm = 0, bd = 0, y = 0, m = 0, d = 0;
    QDate::fromJulianDay(birthDay).getDate(&by, &bm, &bd);
    QDate::fromJulianDay(day).getDate(&y, &m, &d);
    return y - by - ((m < bm || (m == bm && d < bd)) ? 1 : 0);
}

// A valid Portuguese taxpayer number of a private person: eight digits and a mod-11 check digit.
void appendTaxNumber(std::string &out, Random &rng)
{
    int digits[8];
    digits[0] = rng.range(1, 2);
    for (int i = 1; i < 8; ++i)
        digits[i] = rng.below(10);
    int sum = 0;
    for (int i = 0; i < 8; ++i) {
        sum += digits[i] * (9 - i);
        out += char('0' + digits[i]);
    }
    const int r = sum % 11;
    out += char('0' + (r < 2 ? 0 : 11 - r));
}

struct Lookups
{
    std::vector<qint64> doctors; // codes of doctors, then of technicians
    std::vector<qint64> technicians;
    std::vector<qint64> activeDoctors;
    std::vector<qint64> activeTechnicians;
    std::vector<QByteArray> healthCodes; // BENIF texts, in healthSystems() order
};

Lookups writeLookups(Connection &db, Random &rng)
{
    Lookups lookups;

    Insert medico(db, "medico");
    const int medNome = medico.param("NOME");
    const int medActivo = medico.param("ACTIVO");
    std::vector<QByteArray> used;
    for (int i = 0; i < 8; ++i) {
        const bool technician = i >= 5;
        Person p;
        do {
            p = technician ? makePerson(rng, "Téc.", "Téc.") : makePerson(rng, "Dr.", "Dra.");
        } while (std::find(used.begin(), used.end(), p.name) != used.end());
        used.push_back(p.name);
        // One doctor and one technician have left the practice.
        const bool active = i != 4 && i != 7;
        medico.text(medNome, p.name);
        medico.integer(medActivo, active ? 1 : 0);
        const qint64 code = medico.run();
        (technician ? lookups.technicians : lookups.doctors).push_back(code);
        if (active)
            (technician ? lookups.activeTechnicians : lookups.activeDoctors).push_back(code);
    }

    Insert convencao(db, "convencao");
    const int ssSigla = convencao.param("SIGLA");
    const int ssEntidade = convencao.param("ENTIDADE");
    const int ssActivo = convencao.param("ACTIVO");
    for (const HealthSystem &h : healthSystems()) {
        convencao.text(ssSigla, h.sigla, -1);
        convencao.text(ssEntidade, h.entidade, -1);
        convencao.integer(ssActivo, h.active ? 1 : 0);
        lookups.healthCodes.push_back(QByteArray::number(convencao.run()));
    }

    Insert frase(db, "frase");
    const int fFrase = frase.param("Frase");
    const int fOutros = frase.param("Outros");
    for (const Phrase &p : phrases()) {
        frase.text(fFrase, p.frase, -1);
        if (*p.outros)
            frase.text(fOutros, p.outros, -1);
        frase.run();
    }

    Insert conclusoes(db, "eco_conclusoes");
    const int cNome = conclusoes.param("Nome");
    const int cDescricao = conclusoes.param("Descricao");
    for (const StandardConclusion &c : standardConclusions()) {
        const QByteArray text = rtf(c.text);
        conclusoes.text(cNome, c.nome, -1);
        conclusoes.text(cDescricao, text);
        conclusoes.run();
    }
    medico.finish();
    convencao.finish();
    frase.finish();
    conclusoes.finish();
    return lookups;
}

// Rich texts are built once; exams only pick among them.
struct Texts
{
    std::vector<QByteArray> conclusions[PictureCount]; // plain, then with the follow-up line
    QByteArray valves[PictureCount];
    std::vector<QByteArray> minorValves;
    std::vector<QByteArray> segments;
};

Texts buildTexts()
{
    Texts t;
    for (int p = 0; p < PictureCount; ++p) {
        for (const char *c : pictureTexts[p].conclusions) {
            t.conclusions[p].push_back(rtf(c));
            t.conclusions[p].push_back(rtf((QByteArray(c) + '\n' + followUp).constData()));
        }
        if (pictureTexts[p].valves)
            t.valves[p] = rtf(pictureTexts[p].valves);
    }
    for (const char *n : minorValveNotes)
        t.minorValves.push_back(rtf(n));
    for (const char *n : segmentNotes)
        t.segments.push_back(rtf(n));
    return t;
}

struct Exam
{
    int picture = Normal;
    qint8 findings[FindingCount]; // 1, 0, or -1 for never answered
    int tenths[MeasureCount]; // value x 10 (Vptactevd x 100), written only when present
    bool present[MeasureCount];
    int scores[16];
};

void drawFindings(Random &rng, Exam &e)
{
    std::fill(std::begin(e.findings), std::end(e.findings), qint8(0));
    auto set = [&e](std::initializer_list<Finding> fs) {
        for (Finding f : fs)
            e.findings[f] = 1;
    };
    switch (e.picture) {
    case Normal:
        set({ OrdSeg, Dcc, Vcn, Cvn, Pn, Econ });
        break;
    case Hypertrophy:
        set({ OrdSeg, Dcc, Vcn, Cvn, Pn });
        if (rng.chance(30))
            set({ Dccae });
        break;
    case Dilated:
        set({ OrdSeg, Dccve, Cvd, Pn });
        if (rng.chance(50))
            set({ Cvm });
        if (rng.chance(40))
            set({ Dccae });
        if (rng.chance(30))
            set({ Vceem });
        break;
    case MitralRegurgitation:
        set({ OrdSeg, Dccae, Vceem, Cvn, Pn });
        if (rng.chance(50))
            set({ Vcmm });
        if (rng.chance(30))
            set({ Vceet });
        break;
    case AorticStenosis:
        set({ OrdSeg, Dcc, Vceea, Vcma, Cvn, Pn });
        if (rng.chance(30))
            set({ Vceem });
        break;
    case Effusion: {
        set({ OrdSeg, Dcc, Vcn, Cvn });
        const int size = rng.weighted({ 60, 30, 10 });
        set({ size == 0 ? Pdp : size == 1 ? Pdm : Pdg });
        break;
    }
    case Ischaemic:
        set({ OrdSeg, Dcc, Vcn, Cvc, Asd, Pn });
        if (rng.chance(30))
            set({ Cvm });
        if (rng.chance(30))
            set({ Dccve });
        break;
    case AtrialDilatation:
        set({ OrdSeg, Dccae, Vcn, Cvn, Pn });
        if (rng.chance(40))
            set({ Dccad });
        break;
    }
    // Boxes nobody ticked stay unanswered in about a quarter of the exams.
    if (rng.chance(25)) {
        for (qint8 &f : e.findings) {
            if (f == 0 && rng.chance(50))
                f = -1;
        }
    }
    e.findings[Ecoa] = -1;
}

void drawMeasures(Random &rng, Exam &e)
{
    int vd[2] = { 220, 300 }, ved[2] = { 420, 540 }, fenc[2] = { 320, 420 }, pp[2] = { 70, 105 },
        siv[2] = { 70, 100 }, ae[2] = { 280, 390 }, ao[2] = { 240, 340 }, gMax[2] = { 30, 90 },
        gMean[2] = { 15, 50 }, mMax[2] = { 20, 60 }, mMean[2] = { 10, 30 };
    auto setRange = [](int *r, int lo, int hi) {
        r[0] = lo;
        r[1] = hi;
    };
    switch (e.picture) {
    case Hypertrophy:
        setRange(pp, 115, 150);
        setRange(siv, 120, 170);
        break;
    case Dilated:
        setRange(ved, 580, 720);
        setRange(fenc, 100, 220);
        setRange(ae, 380, 480);
        break;
    case MitralRegurgitation:
        setRange(ae, 400, 520);
        setRange(mMax, 30, 80);
        break;
    case AorticStenosis:
        setRange(gMax, 400, 950);
        setRange(gMean, 250, 600);
        setRange(ao, 280, 380);
        setRange(pp, 100, 130);
        setRange(siv, 100, 140);
        break;
    case Ischaemic:
        setRange(ved, 500, 600);
        setRange(fenc, 180, 280);
        break;
    case AtrialDilatation:
        setRange(ae, 420, 550);
        break;
    default:
        break;
    }
    int *v = e.tenths;
    v[Vd] = rng.range(vd[0], vd[1]);
    v[Ved] = rng.range(ved[0], ved[1]);
    v[Fenc] = rng.range(fenc[0], fenc[1]);
    // Systole and ejection fraction follow from diastole and shortening, as on the machine.
    v[Ves] = (v[Ved] * (1000 - v[Fenc]) + 500) / 1000;
    v[Fe] = std::clamp(v[Fenc] * 17 / 10 + rng.range(-30, 30), 150, 820);
    v[Pp] = rng.range(pp[0], pp[1]);
    v[Siv] = rng.range(siv[0], siv[1]);
    v[Ae] = rng.range(ae[0], ae[1]);
    v[Ao] = rng.range(ao[0], ao[1]);
    v[GradAoMax] = rng.range(gMax[0], gMax[1]);
    v[GradAoMean] = std::min(v[GradAoMax] - 5, rng.range(gMean[0], gMean[1]));
    v[Areavm] = e.picture == MitralRegurgitation ? rng.range(25, 45) : rng.range(35, 50);
    v[Vptac] = rng.range(1000, 1500);
    v[Vptactevd] = rng.range(45, 60);
    v[VmGradMax] = rng.range(mMax[0], mMax[1]);
    v[VmGradMean] = std::min(v[VmGradMax] - 5, rng.range(mMean[0], mMean[1]));

    std::fill(std::begin(e.present), std::end(e.present), true);
    const bool mitral = e.picture == MitralRegurgitation;
    e.present[Vd] = rng.chance(95);
    e.present[GradAoMax] = e.present[GradAoMean] = e.picture == AorticStenosis || rng.chance(80);
    e.present[Areavm] = mitral || rng.chance(40);
    e.present[Vptac] = e.present[Vptactevd] = rng.chance(60);
    e.present[VmGradMax] = e.present[VmGradMean] = mitral || rng.chance(60);
}

void drawScores(Random &rng, Exam &e)
{
    std::fill(std::begin(e.scores), std::end(e.scores), 1);
    if (e.picture == Ischaemic) {
        const int count = rng.range(2, 6);
        const int first = rng.below(16);
        for (int i = 0; i < count; ++i) {
            const int kind = rng.weighted({ 60, 30, 10 });
            e.scores[(first + i * 3) % 16] = 2 + kind;
        }
    } else if (e.picture == Dilated) {
        for (int &s : e.scores) {
            if (rng.chance(35))
                s = 2;
        }
    }
}

class Generator
{
public:
    Generator(Connection &db, const DemoOptions &options,
              const std::function<void(int, int)> &progress)
        : m_db(db)
        , m_options(options)
        , m_progress(progress)
        , m_rng(options.seed)
        , m_total(options.patients + options.exams)
    { }

    void run();

private:
    void report(int step);

    Connection &m_db;
    const DemoOptions &m_options;
    const std::function<void(int, int)> &m_progress;
    Random m_rng;
    int m_total;
    int m_done = 0;
    int m_nextReport = 0;
};

void Generator::report(int step)
{
    m_done += step;
    if (m_progress && (m_done >= m_nextReport || m_done == m_total)) {
        m_progress(m_done, m_total);
        m_nextReport = m_done + std::max(1, m_total / 100);
    }
}

void Generator::run()
{
    Random &rng = m_rng;
    const Lookups lookups = writeLookups(m_db, rng);
    const Texts texts = buildTexts();

    const std::vector<QByteArray> maleUpper = upperList(maleNames());
    const std::vector<QByteArray> femaleUpper = upperList(femaleNames());
    const std::vector<QByteArray> surnameUpper = upperList(surnames());
    std::vector<Person> referrers;
    for (int i = 0; i < 30; ++i)
        referrers.push_back(makePerson(rng, "Dr.", "Dra."));
    std::vector<int> healthWeights;
    for (const HealthSystem &h : healthSystems())
        healthWeights.push_back(h.weight);
    std::vector<QByteArray> centres;
    for (const Town &t : towns())
        centres.push_back(QByteArray("Centro de Saúde de ") + t.name);
    const QByteArray qualities[3] = { "Boa", "Regular", "Má" };

    const int patients = m_options.patients;
    std::vector<int> examsOf(size_t(patients), 0);
    for (int i = 0; i < m_options.exams; ++i)
        ++examsOf[size_t(rng.below(patients))];

    Insert pac(m_db, "bddid");
    const int pNome = pac.param("NOME"), pMorada = pac.param("MORADA"), pDnasc = pac.param("DNASC"),
              pNatur = pac.param("NATUR"), pD1cons = pac.param("D1CONS"),
              pTelef = pac.param("TELEF"), pProf = pac.param("PROF"), pEstado = pac.param("ESTADO"),
              pRecomend = pac.param("RECOMEND"), pBenific = pac.param("BENIFIC"),
              pIdade = pac.param("IDADE"), pBenif = pac.param("BENIF"),
              pCpostal = pac.param("CPOSTAL"), pCidade = pac.param("CIDADE"),
              pSexo = pac.param("SEXO"), pNcontrib = pac.param("NCONTRIB"),
              pNcons = pac.param("NCONS"), pPerutente = pac.param("PERUTENTE"),
              pCentros = pac.param("CENTROS"), pNcentros = pac.param("NCENTROS");

    Insert eco(m_db, "eco");
    const int eCodPac = eco.param("CodigoPaciente"), eCodExame = eco.param("CodigoExame"),
              eMedico = eco.param("Medico"), eIdade = eco.param("Idade"), ePeso = eco.param("Peso"),
              eAltura = eco.param("Altura"), eData = eco.param("DataExame"),
              eModo = eco.param("ModoD"), eQte = eco.param("Qte"), eInfo = eco.param("InfoCl"),
              eExecutor = eco.param("Executor"), eOrdSeg1 = eco.param("OrdSeg1"),
              eVc1 = eco.param("Vc1"), eEco1 = eco.param("Eco1"), eTecnico = eco.param("tecnico");
    int eMeasure[MeasureCount], eFinding[FindingCount];
    for (int i = 0; i < MeasureCount; ++i)
        eMeasure[i] = eco.param(measureColumns[i]);
    for (int i = 0; i < FindingCount; ++i)
        eFinding[i] = eco.param(findingColumns[i]);

    Insert img(m_db, "imagem");
    const int iCodPac = img.param("CodpacienteI"), iExame = img.param("DodExamei");
    int iScore[16];
    for (int i = 0; i < 16; ++i)
        iScore[i] = img.param(QByteArray("C" + QByteArray::number(i + 1)).constData());

    const qint64 today = m_options.today.toJulianDay();
    const qint64 firstExamDay = today - 1826; // five years back
    const qint64 recent = today - 730; // who left the practice did so two years ago

    std::string nome, morada, telef, benific, cpostal, ncontrib, ncentros;
    char dnasc[16], d1cons[16], examDate[16], examKey[32];
    int dnascLen = 0, d1consLen = 0;
    std::vector<qint64> days;
    Exam exam;

    for (int p = 0; p < patients; ++p) {
        const bool female = rng.chance(52);
        const int age = 20 + std::max(rng.below(73), rng.below(73));
        const qint64 birth = m_options.today.addYears(-age).toJulianDay() - rng.below(365);
        const int examCount = examsOf[size_t(p)];
        const qint64 lo = std::max(firstExamDay, birth + 1);
        const qint64 hi = today - 1;
        days.clear();
        for (int i = 0; i < examCount; ++i)
            days.push_back(lo + rng.below(int(hi - lo + 1)));
        std::sort(days.begin(), days.end());
        const qint64 firstSeen = days.empty() ? lo + rng.below(int(hi - lo + 1)) : days.front();
        const qint64 firstVisit
            = std::min(firstSeen, std::max(firstSeen - rng.below(1500), birth + 18 * 365));

        nome.clear();
        nome += rng.pick(female ? femaleUpper : maleUpper).constData();
        if (rng.chance(40)) {
            nome += ' ';
            nome += rng.pick(female ? femaleUpper : maleUpper).constData();
        }
        nome += ' ';
        nome += rng.pick(surnameUpper).constData();
        nome += ' ';
        nome += rng.pick(surnameUpper).constData();

        const Town &town = rng.pick(towns());
        morada.clear();
        morada += rng.pick(streets()).constData();
        morada += ", ";
        appendNumber(morada, rng.range(1, 250), 1);
        if (rng.chance(60)) {
            morada += ", ";
            appendNumber(morada, rng.range(1, 9), 1);
            morada += rng.chance(50) ? "º Esq." : "º Dto.";
        }
        cpostal.clear();
        appendNumber(cpostal, rng.range(town.postalLow, town.postalHigh), 4);
        cpostal += '-';
        appendNumber(cpostal, rng.range(1, 999), 3);

        telef.clear();
        if (rng.chance(50)) {
            telef += "21";
            appendDigits(telef, rng, 7);
        } else {
            telef += '9';
            telef += "1236"[rng.below(4)];
            appendDigits(telef, rng, 7);
        }
        ncontrib.clear();
        appendTaxNumber(ncontrib, rng);
        ncentros.clear();
        appendDigits(ncentros, rng, 9);

        const int health = rng.weighted(healthWeights);
        const HealthSystem &hs = healthSystems()[size_t(health)];
        const Profession &job
            = age >= 68 && rng.chance(80) ? professions().front() : rng.pick(professions());
        const int civil = rng.weighted({ 55, age >= 65 ? 20 : 4, 18, 10 });
        static const char *const civilMale[] = { "Casado", "Viúvo", "Solteiro", "Divorciado" };
        static const char *const civilFemale[] = { "Casada", "Viúva", "Solteira", "Divorciada" };
        const Person &referrer = rng.pick(referrers);

        dnascLen = dateText(dnasc, birth);
        d1consLen = dateText(d1cons, firstVisit);
        pac.text(pNome, nome);
        pac.text(pMorada, morada);
        pac.text(pDnasc, dnasc, dnascLen);
        pac.text(pNatur, rng.pick(birthPlaces()));
        pac.text(pD1cons, d1cons, d1consLen);
        pac.text(pTelef, telef);
        pac.text(pProf, female ? job.female : job.male, -1);
        pac.text(pEstado, female ? civilFemale[civil] : civilMale[civil], -1);
        pac.text(pRecomend, referrer.name);
        if (hs.patientShare != 100) {
            benific.clear();
            appendDigits(benific, rng, 9);
            pac.text(pBenific, benific);
        }
        pac.integer(pIdade, ageInYears(birth, firstVisit));
        pac.text(pBenif, lookups.healthCodes[size_t(health)]);
        pac.text(pCpostal, cpostal);
        pac.text(pCidade, town.name, -1);
        pac.text(pSexo, female ? "F" : "M", 1);
        pac.text(pNcontrib, ncontrib);
        pac.integer(pNcons, std::max(examCount, 1) + rng.below(12));
        static const int coPayments[] = { 0, 10, 20, 25, 30 };
        pac.integer(pPerutente, hs.patientShare >= 0 ? hs.patientShare : coPayments[rng.below(5)]);
        pac.text(pCentros, centres[size_t(&town - towns().data())]);
        pac.text(pNcentros, ncentros);
        const qint64 nf = pac.run();
        report(1);

        const int height = female ? rng.range(148, 175) : rng.range(160, 192);
        const int weight = female ? rng.range(48, 92) : rng.range(60, 108);
        qint64 previousDay = -1;
        int previousMs = 0;
        for (int j = 0; j < examCount; ++j) {
            const qint64 day = days[size_t(j)];
            int ms = rng.range(8 * 3600000 + 30 * 60000, 19 * 3600000 + 30 * 60000);
            // Two exams of a patient on one day must still have distinct keys.
            if (day == previousDay && ms <= previousMs)
                ms = previousMs + rng.range(60000, 1800000);
            previousDay = day;
            previousMs = ms;
            const int keyLen = timestampText(examKey, day, ms);
            const int dateLen = dateText(examDate, day);

            // A patient's next exam usually shows the same heart.
            exam.picture = j > 0 && rng.chance(60) ? exam.picture : rng.weighted(pictureWeights);
            drawFindings(rng, exam);
            drawMeasures(rng, exam);
            drawScores(rng, exam);

            eco.real(eCodPac, double(nf));
            eco.text(eCodExame, examKey, keyLen);
            if (rng.chance(95)) {
                const Person &who = rng.chance(70) ? referrer : rng.pick(referrers);
                eco.text(eMedico, who.upperName);
            }
            eco.integer(eIdade, ageInYears(birth, day));
            eco.integer(ePeso, weight + rng.range(-3, 3));
            eco.integer(eAltura, height);
            eco.text(eData, examDate, dateLen);
            for (int i = 0; i < MeasureCount; ++i) {
                if (exam.present[i])
                    eco.real(eMeasure[i], exam.tenths[i] / (i == Vptactevd ? 100.0 : 10.0));
            }
            eco.text(eModo, examKinds()[size_t(rng.weighted({ 10, 20, 55, 15 }))]);
            eco.text(eQte, qualities[rng.weighted({ 70, 22, 8 })]);
            if (rng.chance(92))
                eco.text(eInfo, rng.pick(clinicalInfo()));

            const bool old = day < recent;
            const bool hasTechnician = rng.chance(70);
            if (!hasTechnician || rng.chance(97))
                eco.real(eExecutor,
                         double(rng.pick(old ? lookups.doctors : lookups.activeDoctors)));
            if (hasTechnician)
                eco.integer(eTecnico,
                            rng.pick(old ? lookups.technicians : lookups.activeTechnicians));

            for (int i = 0; i < FindingCount; ++i) {
                if (exam.findings[i] >= 0)
                    eco.integer(eFinding[i], exam.findings[i]);
            }
            if (rng.chance(12))
                eco.text(eOrdSeg1, rng.pick(texts.segments));
            if (!texts.valves[exam.picture].isEmpty() && rng.chance(70))
                eco.text(eVc1, texts.valves[exam.picture]);
            else if (rng.chance(15))
                eco.text(eVc1, rng.pick(texts.minorValves));
            eco.text(eEco1,
                     texts.conclusions[exam.picture][size_t(rng.weighted({ 35, 15, 35, 15 }))]);
            eco.run();

            img.real(iCodPac, double(nf));
            img.text(iExame, examKey, keyLen);
            for (int i = 0; i < 16; ++i)
                img.integer(iScore[i], exam.scores[i]);
            img.run();
            report(1);
        }
    }
    pac.finish();
    eco.finish();
    img.finish();
}

} // namespace

void DemoData::generate(sqlite3 *db, const DemoOptions &options,
                        const std::function<void(int done, int total)> &progress)
{
    SqliteConnection conn(db);
    generate(conn, options, progress);
}

void DemoData::generate(Connection &db, const DemoOptions &options,
                        const std::function<void(int done, int total)> &progress)
{
    if (!options.today.isValid())
        databaseError(QStringLiteral("The demo data needs a valid date for today"));
    if (options.patients < 0 || options.exams < 0 || (options.patients == 0 && options.exams > 0))
        databaseError(QStringLiteral("The demo data needs patients for its exams"));

    if (db.isPostgreSql()) {
        // Inside the caller's transaction; the folding trigger keeps the names as they arrive.
        Generator(db, options, progress).run();
        return;
    }
    sqlite3 *handle = db.sqlite();
    SqliteStore::exec(handle, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        Schema::beginBulkLoad(handle);
        Generator(db, options, progress).run();
        Schema::endBulkLoad(handle);
        SqliteStore::exec(handle, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}
