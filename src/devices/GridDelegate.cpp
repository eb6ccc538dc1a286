#include "GridDelegate.h"

#include "DeviceGrid.h"

#include <QApplication>
#include <QPainter>

TGridDelegate::TGridDelegate(std::function<int()> row, std::function<Colors()> c, QObject* parent)
    : QStyledItemDelegate(parent), currentRow(std::move(row)), colors(std::move(c)) {}

TGridDelegate::Look TGridDelegate::LookOf(int row, int column, const QString& text) const {
    const Colors c = colors();
    Look look{Qt::black, false};
    if (row > 0 && row == currentRow() && column == Col::Address)
        look = {c.active, true};
    if (row > 0 && column == Col::Status)
        look = {text == QLatin1String("DOWN") ? c.down : c.up, true};
    return look;
}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    // Background first (normal, selected), then the text in its own look.
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    const Look look = LookOf(index.row() + 1, index.column(), text);
    painter->save();
    QFont f = opt.font;
    f.setBold(look.bold);
    painter->setFont(f);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(selected && !look.bold ? opt.palette.color(QPalette::HighlightedText)
                                           : look.color);
    painter->setClipRect(opt.rect);
    painter->drawText(opt.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}
