#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>

// Rows of a report as a table, read only: the findings of a check, the differences with another
// file. The rows' texts are asked for as they are shown, so that a report of a hundred thousand
// rows costs nothing until it is scrolled to.
class ReportModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The text of a row's column.
    using Text = std::function<QString(int row, int column)>;

    explicit ReportModel(const QStringList &headers, QObject *parent = nullptr);

    // Shows rows rows, their texts from text, in place of the rows before.
    void setRows(int rows, const Text &text);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList m_headers;
    int m_rows = 0;
    Text m_text;
};
