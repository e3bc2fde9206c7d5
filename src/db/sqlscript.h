#pragma once

#include <QString>

class QSqlDatabase;

// Runs a file of SQL statements separated by lines that hold only "GO", in order, on an open
// connection. Throws KorvanError naming the statement that failed.
void runSqlScript(QSqlDatabase &db, const QString &path);
