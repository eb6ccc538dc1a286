#pragma once

#include <QColor>
#include <QStyledItemDelegate>
#include <functional>

// Paints grid cells: the address of the row being probed in the active-row
// colour, Status cells bold in the UP or DOWN colour, everything else black.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    struct Colors {
        QColor up, down, active;
    };
    TGridDelegate(std::function<int()> currentRow, std::function<Colors()> colors,
                  QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The font colour and weight a cell is drawn with (grid row, column).
    struct Look {
        QColor color;
        bool bold = false;
    };
    Look LookOf(int row, int column, const QString& text) const;
    Colors CurrentColors() const { return colors(); }

private:
    std::function<int()> currentRow;
    std::function<Colors()> colors;
};
