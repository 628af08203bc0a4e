#include "core/status/StatusJson.h"

#include <QJsonObject>

namespace quorix::status {

QJsonArray rowsJson(const QStringList &headers, const std::vector<QStringList> &rows) {
    QJsonArray out;
    for (const QStringList &row : rows) {
        QJsonObject object;
        for (qsizetype c = 0; c < headers.size(); ++c)
            object.insert(headers.at(c), c < row.size() ? row.at(c) : QString());
        out.append(object);
    }
    return out;
}

QJsonArray checklistJson(const std::vector<CheckLine> &lines) {
    QJsonArray out;
    // An ok line says no more than its check, in the log as here.
    for (const CheckLine &line : lines)
        out.append(
            QJsonObject{{QStringLiteral("result"), line.ok ? QStringLiteral("ok") : QStringLiteral("FAIL")},
                        {QStringLiteral("check"), line.check},
                        {QStringLiteral("problem"), line.ok ? QString() : line.problem},
                        {QStringLiteral("fix"), line.ok ? QString() : line.fix}});
    return out;
}

} // namespace quorix::status
