#pragma once

// The accessible tree that accessible_window.py dumps (one JSON object a line), as the tests read it.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

struct AccessibleNode {
    QString role;
    QString name;
    QString description;
    QString text;
    bool showing = false;
};

inline QList<AccessibleNode> accessibleTree(const QByteArray& dump)
{
    QList<AccessibleNode> nodes;
    for (const QByteArray& line : dump.split('\n')) {
        const QJsonObject node = QJsonDocument::fromJson(line).object();
        if (!node.isEmpty()) {
            nodes.append(AccessibleNode { node.value(QLatin1String("role")).toString(),
                node.value(QLatin1String("name")).toString(), node.value(QLatin1String("description")).toString(),
                node.value(QLatin1String("text")).toString(), node.value(QLatin1String("showing")).toBool() });
        }
    }
    return nodes;
}
