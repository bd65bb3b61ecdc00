#include "Recordset.h"

#include "VbError.h"

Recordset::Recordset(QStringList fieldNames, QList<Row> rows)
    : m_fieldNames(std::move(fieldNames)), m_rows(std::move(rows))
{
}

void Recordset::Close()
{
    m_rows.clear();
    m_position = 0;
    m_open = false;
}

void Recordset::moveNext()
{
    if (!atEnd())
        ++m_position;
}

QVariant Recordset::field(const QString& name) const
{
    if (atEnd())
        throw platform::VbError(3021,
                                QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                               "Requested operation requires a current record."),
                                QStringLiteral("Recordset::field"));
    for (qsizetype i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return m_rows.at(m_position).value(i);
    }
    throw platform::VbError(3265,
                            QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                                           "name or ordinal."),
                            QStringLiteral("Recordset::field"));
}
