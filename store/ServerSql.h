#pragma once

// Internal to the store: the statements the forms write, in the dialect both engines share,
// made into what a PostgreSQL server reads. The forms keep one text for both engines; the few
// places where SQLite's reading differs from the server's are rewritten here:
//   ?, ?N            → $N
//   "Name", `Name`, [Name] → "name" (the server keeps this schema's ASCII names in lower case,
//                      as it folds unquoted names, so quoted and unquoted names meet)
//   user             → "user" where it names a column (a reserved word on the server)
//   x LIKE p         → lower(x::text) LIKE lower(p COLLATE "C") (ASCII letters without regard
//                      to case, as SQLite's LIKE; numbers by their text), with ESCAPE '' where
//                      the statement gives none (no escape character, as on SQLite)
//   WHERE 0, WHERE 1 → WHERE false, WHERE true
//   cast(… as integer) → cast(… as bigint) (SQLite's integers have 64 bits)
//   ifnull(          → coalesce(
//   group_concat(x[, sep]) → string_agg((x)::text, sep or ',')
//   ==               → =
//   orvik_contains_mask(a, …) → orvik_contains_mask((a)::text, …) (the server's own function
//                      of that name takes text)
//   PRAGMA synchronous / query_only → the session settings that do the same; other pragmas
//                      do nothing, as SQLite ignores pragmas it does not know

#include <QByteArray>
#include <QString>

namespace orvik::store::detail {

struct ServerSql {
    QByteArray text;
    bool namesRowid = false;  // the select list asks for rowid itself
    int params = 0;           // the highest parameter number
};

ServerSql toServerSql(const QString& sql);

// A name as the server keeps it: ASCII letters in lower case, everything else as it is.
QString serverName(const QString& name);

}  // namespace orvik::store::detail
