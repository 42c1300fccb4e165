#pragma once

#include "model/PhotoItem.h"

#include <QHash>
#include <QString>

#include <initializer_list>

// Tests name their photos by short texts ("a", "IMG_1"); these map each text to one id
// for the whole test run, and back.
inline QHash<QString, PhotoId> testIdTable;

inline PhotoId testId(const QString &name)
{
    PhotoId &id = testIdTable[name];
    return id ? id : (id = makePhotoId());
}

inline QString testName(PhotoId id) { return testIdTable.key(id, QStringLiteral("?")); }

inline PhotoIdSet testIds(std::initializer_list<QString> names)
{
    PhotoIdSet ids;
    for (const QString &name : names)
        ids.insert(testId(name));
    return ids;
}
