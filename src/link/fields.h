#pragma once

#include <QStringList>

// Splits a message (its brackets already removed) into fields the way `IDARR` holds them:
// commas and blanks both separate fields, control characters and blanks around separators are
// skipped, a double-quoted field may hold separators ("" stands for one quote), two commas
// give an empty field and a trailing comma a trailing empty field. A NUL ends the text.
QStringList splitFields(QStringView text);

// The text of a cut message without any "[" or "]", as it is split into `IDARR`.
QString withoutBrackets(QStringView message);
