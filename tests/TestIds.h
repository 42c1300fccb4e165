#pragma once

#include "model/PhotoItem.h"

#include <QHash>
#include <QString>

#include <initializer_list>

// Tests name their photos by short texts ("a", "IMG_1"); these map each text to one id
// for the whole test run, and back.
inline QHash<QString, PhotoId> &testIdTable()
{
    static QHash<QString, PhotoId> table;
    return table;
}

inline PhotoId testId(const QString &name)
{
    auto found = testIdTable().constFind(name);
    return found != testIdTable().cend() ? *found : *testIdTable().insert(name, makePhotoId());
}

inline QString testName(PhotoId id)
{
    return testIdTable().key(id, QStringLiteral("?"));
}

inline PhotoIdSet testIds(std::initializer_list<QString> names)
{
    PhotoIdSet ids;
    for (const QString &name : names)
        ids.insert(testId(name));
    return ids;
}
