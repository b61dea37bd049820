#include "platform/engine/DatabaseError.h"

void databaseError(const QString &message)
{
    throw DatabaseError(message);
}
