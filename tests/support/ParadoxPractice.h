#pragma once

#include "platform/paradox/ParadoxTable.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct TableDef;

// A practice's seven tables as the old program kept them: Paradox files written from the rows of
// one of our databases, so that an import can be compared with what it came from. Column types
// map back to the Paradox types the program's fields had; keys are the first fields.
class ParadoxPractice
{
public:
    struct Options
    {
        int codePage = 1252;
        QStringList encrypted; // SQL names of the tables saved with a password
        // The patient table also gets a column of every field type the program does not use,
        // as the practice's other software may have added.
        bool extraFieldTypes = false;
        int blockSize = 4096;
    };

    // Writes sqliteDir's seven tables into folder (which must exist) as Bddid.DB, eco.DB, ...
    static void write(const QString &sqliteDir, const QString &folder, const Options &options);

    [[nodiscard]] static QList<paradox::Field> fieldsOf(const TableDef &table, bool extra);
    // The extra columns and their values for patient nf (some blank), in the reader's types.
    [[nodiscard]] static QList<paradox::Field> extraFields();
    [[nodiscard]] static QVariantList extraValues(int nf);
};
