#include "sqlscript.h"

#include "util/errors.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

void runSqlScript(QSqlDatabase &db, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw KorvanError(QStringLiteral("Kan %1 niet lezen: %2").arg(path, file.errorString()));
    static const QRegularExpression go(QStringLiteral("^\\s*GO\\s*$"), QRegularExpression::MultilineOption);
    const QStringList statements = QString::fromUtf8(file.readAll()).split(go);
    for (const QString &statement : statements) {
        QString sql;
        // Comment lines carry no SQL; drivers differ in whether they accept a statement of comments only.
        for (const QString &line : statement.split(u'\n'))
            if (!line.trimmed().startsWith(QStringLiteral("--")))
                sql += line + u'\n';
        if (sql.trimmed().isEmpty())
            continue;
        QSqlQuery query(db);
        if (!query.exec(sql))
            throw KorvanError(QStringLiteral("%1: %2\n%3").arg(path, query.lastError().text(), sql.trimmed()));
    }
}
