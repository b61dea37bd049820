#include "platform/engine/StorageFault.h"

#include <QFileInfo>

StorageFault::StorageFault(Kind kind, const QString &path, int version, int newest)
    : DatabaseError(text(kind, path, version, newest))
    , m_kind(kind)
    , m_path(path)
{ }

QString StorageFault::text(Kind kind, const QString &path, int version, int newest)
{
    switch (kind) {
    case Kind::NotADatabase:
        return QStringLiteral("O ficheiro %1 não é uma base de dados do Taluvo (está vazio ou "
                              "ficou a meio de ser criado). Ficou como estava.")
            .arg(path);
    case Kind::Damaged:
        return QStringLiteral("A base de dados %1 está danificada. Verifique-a com "
                              "«taluvo db check %2» e reponha uma cópia de segurança.")
            .arg(path, QFileInfo(path).absolutePath());
    case Kind::ReadOnly:
        return QStringLiteral("A base de dados %1 só pode ser lida (o ficheiro ou a pasta não "
                              "deixam escrever): pode consultar e imprimir, mas nada será gravado.")
            .arg(path);
    case Kind::DiskFull:
        return QStringLiteral("Não foi possível gravar em %1: disco cheio. O que escreveu "
                              "continua no ecrã; liberte espaço e grave de novo.")
            .arg(path);
    case Kind::NewerVersion:
        return QStringLiteral("A base de dados %1 foi escrita por uma versão mais recente do "
                              "programa (versão %2 dos dados; este programa conhece até à %3). "
                              "Não foi aberta nem alterada.")
            .arg(path)
            .arg(version)
            .arg(newest);
    }
    return path;
}
