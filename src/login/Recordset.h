#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

/** The rows one statement returned: named fields, rows walked from the first. A field that was NULL holds a
 *  null QVariant, every other value is text. */
class Recordset final
{
public:
    using Row = QList<QVariant>;

    Recordset() = default;
    Recordset(QStringList fieldNames, QList<Row> rows);

    /** 1 while open, 0 once closed. */
    int State() const { return m_open ? 1 : 0; }
    /** Drops the rows; State becomes 0. */
    void Close();

    const QStringList& fieldNames() const { return m_fieldNames; }
    int fieldCount() const { return int(m_fieldNames.size()); }
    int recordCount() const { return int(m_rows.size()); }

    /** True when there is no current row (no rows, or walked past the last one). */
    bool atEnd() const { return m_position >= m_rows.size(); }
    void moveFirst() { m_position = 0; }
    void moveNext();

    /** The current row's value of the field called name (case-insensitive). Throws platform::VbError when
     *  there is no current row or no such field. */
    QVariant field(const QString& name) const;
    /** The same as text; empty for NULL. */
    QString text(const QString& name) const { return field(name).toString(); }

private:
    QStringList m_fieldNames;
    QList<Row> m_rows;
    qsizetype m_position = 0;
    bool m_open = true;
};
