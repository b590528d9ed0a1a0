#include "plan_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "plan_text.h"

QByteArray plansJson(const std::vector<PlannedFile>& files) {
    QJsonArray plans;
    for (const PlannedFile& file : files) {
        QJsonObject entry = planJson(file.plan);
        entry.insert("source", file.source);
        entry.insert("summary", planSummary(file.plan));
        plans.append(entry);
    }
    return QJsonDocument(QJsonObject{{"plans", plans}}).toJson(QJsonDocument::Compact);
}
