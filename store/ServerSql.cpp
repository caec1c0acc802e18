#include "ServerSql.h"

#include <QRegularExpression>
#include <QStringList>
#include <QVector>

#include "Schema.h"

namespace orvik::store::detail {

namespace {

enum class Kind { Word, Number, Quoted, Param, String, Other, Space };

struct Token {
    Kind kind;
    QString text;
};

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Whether a '[' after these tokens opens an array subscript rather than a quoted name.
bool subscriptFollows(const QVector<Token>& before) {
    for (qsizetype i = before.size() - 1; i >= 0; --i) {
        const Token& t = before.at(i);
        if (t.kind == Kind::Space)
            continue;
        return t.kind == Kind::Word || t.kind == Kind::Quoted || t.kind == Kind::Number ||
               (t.kind == Kind::Other &&
                (t.text == QLatin1String(")") || t.text == QLatin1String("]")));
    }
    return false;
}

QVector<Token> tokenize(const QString& sql) {
    QVector<Token> out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && sql.at(i).isSpace())
                ++i;
            out.push_back({Kind::Space, sql.mid(start, i - start)});
        } else if (c == QLatin1Char('\'')) {
            ++i;
            while (i < n) {
                if (sql.at(i) == QLatin1Char('\'')) {
                    if (i + 1 < n && sql.at(i + 1) == QLatin1Char('\'')) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            out.push_back({Kind::String, sql.mid(start, i - start)});
        } else if (c == QLatin1Char('"') || c == QLatin1Char('`')) {
            QString name;
            ++i;
            while (i < n) {
                if (sql.at(i) == c) {
                    if (i + 1 < n && sql.at(i + 1) == c) {
                        name += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                name += sql.at(i++);
            }
            out.push_back({Kind::Quoted, name});
        } else if (c == QLatin1Char('[') && !out.isEmpty() &&
                   sql.indexOf(QLatin1Char(']'), i) > i && !subscriptFollows(out)) {
            // [Name] quotes a name as in the old engine; after a name or a bracket it is an
            // array subscript, which stays.
            const qsizetype end = sql.indexOf(QLatin1Char(']'), i);
            out.push_back({Kind::Quoted, sql.mid(i + 1, end - i - 1)});
            i = end + 1;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            while (i < n && sql.at(i) != QLatin1Char('\n'))
                ++i;
            out.push_back({Kind::Space, sql.mid(start, i - start)});
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            out.push_back({Kind::Space, sql.mid(start, i - start)});
        } else if (c == QLatin1Char('?')) {
            ++i;
            while (i < n && sql.at(i).isDigit())
                ++i;
            out.push_back({Kind::Param, sql.mid(start + 1, i - start - 1)});
        } else if (isWordChar(c)) {
            while (i < n && isWordChar(sql.at(i)))
                ++i;
            const QString word = sql.mid(start, i - start);
            bool digits = true;
            for (const QChar d : word)
                digits = digits && d.isDigit();
            out.push_back({digits ? Kind::Number : Kind::Word, word});
        } else if (c == QLatin1Char('=') && i + 1 < n && sql.at(i + 1) == QLatin1Char('=')) {
            i += 2;
            out.push_back({Kind::Other, QStringLiteral("=")});
        } else {
            ++i;
            out.push_back({Kind::Other, QString(c)});
        }
    }
    return out;
}

bool is(const Token& t, const char* word) {
    return t.kind == Kind::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// Words the server reserves that this schema uses as names.
bool reservedName(const QString& word) {
    static const QStringList reserved{QStringLiteral("user"),    QStringLiteral("order"),
                                      QStringLiteral("group"),   QStringLiteral("table"),
                                      QStringLiteral("default"), QStringLiteral("check"),
                                      QStringLiteral("limit"),   QStringLiteral("offset"),
                                      QStringLiteral("window"),  QStringLiteral("end")};
    const QString lower = word.toLower();
    if (!reserved.contains(lower))
        return false;
    // Known to the definition as a table or a column name.
    return schema::knownName(lower) != lower || lower == QLatin1String("user");
}

QByteArray pragma(const QString& sql) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*pragma\\s+(\\w+)\\s*(?:=\\s*'?(\\w+)'?)?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(sql);
    const QString name = m.captured(1).toLower();
    const QString value = m.captured(2).toLower();
    const bool off = value == QLatin1String("off") || value == QLatin1String("0") ||
                     value == QLatin1String("false") || value == QLatin1String("no");
    if (name == QLatin1String("synchronous") && !value.isEmpty())
        return off ? "SET synchronous_commit = off" : "SET synchronous_commit = on";
    if (name == QLatin1String("query_only") && !value.isEmpty())
        return off ? "SET default_transaction_read_only = off"
                   : "SET default_transaction_read_only = on";
    return "SELECT 1 WHERE false";
}

}  // namespace

QString serverName(const QString& name) {
    QString out = name;
    for (QChar& c : out) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return out;
}

ServerSql toServerSql(const QString& sql) {
    ServerSql result;
    if (sql.trimmed().startsWith(QLatin1String("pragma"), Qt::CaseInsensitive)) {
        result.text = pragma(sql);
        return result;
    }
    const QVector<Token> tokens = tokenize(sql);
    // The significant neighbours of token i.
    const auto next = [&](qsizetype i) {
        for (++i; i < tokens.size(); ++i)
            if (tokens.at(i).kind != Kind::Space)
                return i;
        return qsizetype(-1);
    };
    const auto prev = [&](qsizetype i) {
        for (--i; i >= 0; --i)
            if (tokens.at(i).kind != Kind::Space)
                return i;
        return qsizetype(-1);
    };
    QString out;
    int depth = 0, selectDepth = -1, autoParam = 0;
    bool inSelectList = false;
    QVector<qsizetype> tokenAt(tokens.size() + 1, 0);
    int closeLikeAfter = -1;  // the token after which "COLLATE "C")" closes a LIKE pattern
    // group_concat(x [, sep]) → string_agg((x)::text, sep or ','): the depth inside each
    // open call, and whether its separator has been seen.
    struct Concat {
        int depth;
        bool separated;
    };
    QVector<Concat> concats;
    // Subqueries in FROM, which the server wants named: the depth inside each.
    QVector<int> subqueries;
    int named = 0;

    // orvik_contains_mask(a, b, ...) → orvik_contains_mask((a)::text, (b)::text, ...): the
    // server's function takes text, SQLite's any value by its text. The depth inside each call.
    QVector<int> masks;

    qsizetype skipParen = -1;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        Token t = tokens.at(i);
        tokenAt[i] = out.size();
        if (i == skipParen) {
            ++depth;
            continue;
        }
        if (t.kind == Kind::Other && t.text == QLatin1String("(")) {
            const qsizetype p = prev(i);
            if (p >= 0 && is(tokens.at(p), "orvik_contains_mask")) {
                ++depth;
                masks.push_back(depth);
                out += QStringLiteral("((");
                continue;
            }
        }
        if (!masks.isEmpty() && masks.last() == depth && t.kind == Kind::Other &&
            (t.text == QLatin1String(",") || t.text == QLatin1String(")"))) {
            if (t.text == QLatin1String(",")) {
                out += QStringLiteral(")::text, (");
            } else {
                out += QStringLiteral(")::text)");
                masks.removeLast();
                --depth;
            }
            continue;
        }
        if (t.kind == Kind::Param) {
            const int number = t.text.isEmpty() ? ++autoParam : t.text.toInt();
            autoParam = std::max(autoParam, number);
            result.params = std::max(result.params, number);
            t.text = QString::number(number);
        }
        if (t.kind == Kind::Other && t.text == QLatin1String("(")) {
            ++depth;
            const qsizetype p = prev(i), q = next(i);
            if (p >= 0 && (is(tokens.at(p), "from") || is(tokens.at(p), "join")) && q >= 0 &&
                (is(tokens.at(q), "select") || is(tokens.at(q), "with")))
                subqueries.push_back(depth);
        } else if (t.kind == Kind::Other && t.text == QLatin1String(")") && !subqueries.isEmpty() &&
                   subqueries.last() == depth) {
            subqueries.removeLast();
            --depth;
            out += t.text;
            const qsizetype q = next(i);
            const bool aliased =
                q >= 0 && (is(tokens.at(q), "as") ||
                           (tokens.at(q).kind == Kind::Word &&
                            !QStringList{"where", "order", "group", "limit", "union", "join", "on",
                                         "inner", "left", "right", "cross", "having", "window",
                                         "except", "intersect", "offset"}
                                 .contains(tokens.at(q).text.toLower())) ||
                           tokens.at(q).kind == Kind::Quoted);
            if (!aliased)
                out += QStringLiteral(" AS orvik_q%1").arg(++named);
            continue;
        } else if (t.kind == Kind::Other && t.text == QLatin1String(")")) {
            if (!concats.isEmpty() && concats.last().depth == depth) {
                out += concats.last().separated ? QString() : QStringLiteral(")::text, ','");
                concats.removeLast();
            }
            --depth;
        } else if (t.kind == Kind::Other && t.text == QLatin1String(",") && !concats.isEmpty() &&
                   concats.last().depth == depth && !concats.last().separated) {
            out += QStringLiteral(")::text");
            concats.last().separated = true;
        }
        if (is(t, "select") && selectDepth < 0) {
            selectDepth = depth;
            inSelectList = true;
        } else if (is(t, "from") && depth == selectDepth) {
            inSelectList = false;
        }

        switch (t.kind) {
            case Kind::Quoted: {
                const qsizetype p = prev(i);
                if (p >= 0 && is(tokens.at(p), "collate")) {  // a collation keeps its case
                    out += quoted(t.text);
                    break;
                }
                if (inSelectList &&
                    t.text.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0)
                    result.namesRowid = true;
                out += quoted(serverName(t.text));
                break;
            }
            case Kind::Param:
                out += QLatin1Char('$') + t.text;
                break;
            case Kind::Number: {
                const qsizetype p = prev(i), q = next(i);
                const bool alone = p >= 0 && is(tokens.at(p), "where") &&
                                   (q < 0 || is(tokens.at(q), "order") ||
                                    is(tokens.at(q), "limit") || is(tokens.at(q), "group") ||
                                    (tokens.at(q).kind == Kind::Other &&
                                     (tokens.at(q).text == QLatin1String(")") ||
                                      tokens.at(q).text == QLatin1String(";"))));
                if (alone)
                    out +=
                        t.text.toLongLong() == 0 ? QStringLiteral("false") : QStringLiteral("true");
                else
                    out += t.text;
                break;
            }
            case Kind::Word: {
                const qsizetype p = prev(i), q = next(i);
                const bool call = q >= 0 && tokens.at(q).kind == Kind::Other &&
                                  tokens.at(q).text == QLatin1String("(");
                if (inSelectList && is(t, "rowid"))
                    result.namesRowid = true;
                if (is(t, "integer") && p >= 0 && is(tokens.at(p), "as")) {
                    out += QStringLiteral("bigint");
                } else if (is(t, "ifnull") && call) {
                    out += QStringLiteral("coalesce");
                } else if (is(t, "group_concat") && call) {
                    // The call's "(" is written here with the one that wraps its first
                    // argument; the loop skips the original.
                    out += QStringLiteral("string_agg((");
                    concats.push_back({depth + 1, false});
                    skipParen = q;
                } else if (!call && reservedName(t.text) &&
                           !(p >= 0 && tokens.at(p).kind == Kind::Other &&
                             tokens.at(p).text == QLatin1String("."))) {
                    out += quoted(serverName(t.text));
                } else if (is(t, "like") && p >= 0 && q >= 0 &&
                           (tokens.at(q).kind == Kind::Param ||
                            tokens.at(q).kind == Kind::String) &&
                           (tokens.at(p).kind == Kind::Word || tokens.at(p).kind == Kind::Quoted)) {
                    // The left operand: a name, or table.name.
                    qsizetype from = p;
                    const qsizetype dot = prev(p);
                    if (dot >= 0 && tokens.at(dot).kind == Kind::Other &&
                        tokens.at(dot).text == QLatin1String(".") && prev(dot) >= 0)
                        from = prev(dot);
                    const qsizetype at = tokenAt[from];
                    const QString operand = out.mid(at).trimmed();
                    out.truncate(at);
                    out +=
                        QStringLiteral("lower(") + operand + QStringLiteral("::text) LIKE lower(");
                    closeLikeAfter = int(q);
                } else {
                    out += t.text;
                }
                break;
            }
            default:
                out += t.text;
        }
        if (closeLikeAfter >= 0 && i == closeLikeAfter) {
            out += QStringLiteral(" COLLATE \"C\")");
            // Without ESCAPE a backslash is an ordinary character in SQLite's LIKE, while the
            // server would take it as its default escape.
            const qsizetype q = next(i);
            if (q < 0 || !is(tokens.at(q), "escape"))
                out += QStringLiteral(" ESCAPE ''");
            closeLikeAfter = -1;
        }
    }
    result.text = out.toUtf8();
    return result;
}

}  // namespace orvik::store::detail
