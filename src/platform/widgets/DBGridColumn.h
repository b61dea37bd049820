#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

// How a grid shows one field: the field by name, its title, width, alignments and colours,
// whether the grid may edit it, and the words a logical field shows. A plain value; a setting
// left empty (or an invalid colour) falls back to the field's or the grid's own. Setters chain:
//     DBGridColumn(u"Peso"_s, u"Peso"_s, 64).setAlignment(Qt::AlignHCenter)
class DBGridColumn
{
public:
    DBGridColumn() = default;
    explicit DBGridColumn(const QString &fieldName, const QString &title = QString(), int width = 0)
        : m_fieldName(fieldName)
        , m_title(title)
        , m_width(width)
    { }

    [[nodiscard]] const QString &fieldName() const { return m_fieldName; }
    DBGridColumn &setFieldName(const QString &name) { return set(m_fieldName, name); }

    // Empty: the field's display label, or its name.
    [[nodiscard]] const QString &title() const { return m_title; }
    DBGridColumn &setTitle(const QString &title) { return set(m_title, title); }

    // In pixels; 0 takes the field's display width.
    [[nodiscard]] int width() const { return m_width; }
    DBGridColumn &setWidth(int width) { return set(m_width, width); }

    // Of the cells; empty puts numbers to the right and everything else to the left.
    [[nodiscard]] Qt::Alignment alignment() const { return m_alignment; }
    DBGridColumn &setAlignment(Qt::Alignment alignment) { return set(m_alignment, alignment); }
    // Of the title; empty is left.
    [[nodiscard]] Qt::Alignment titleAlignment() const { return m_titleAlignment; }
    DBGridColumn &setTitleAlignment(Qt::Alignment alignment)
    {
        return set(m_titleAlignment, alignment);
    }

    // Never edited in the grid, even when the grid and the field allow it.
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    DBGridColumn &setReadOnly(bool readOnly) { return set(m_readOnly, readOnly); }

    [[nodiscard]] const QColor &color() const { return m_color; } // cell background
    DBGridColumn &setColor(const QColor &color) { return set(m_color, color); }
    [[nodiscard]] const QColor &textColor() const { return m_textColor; }
    DBGridColumn &setTextColor(const QColor &color) { return set(m_textColor, color); }
    [[nodiscard]] const QColor &titleColor() const { return m_titleColor; }
    DBGridColumn &setTitleColor(const QColor &color) { return set(m_titleColor, color); }
    [[nodiscard]] const QColor &titleBackground() const { return m_titleBackground; }
    DBGridColumn &setTitleBackground(const QColor &color) { return set(m_titleBackground, color); }

    // Of the cells; unset takes the grid's.
    [[nodiscard]] const std::optional<QFont> &font() const { return m_font; }
    DBGridColumn &setFont(const QFont &font) { return set(m_font, std::optional<QFont>(font)); }

    // Logical fields: "true text;false text" ("O;."); empty keeps the field's own words. Null
    // shows nothing either way.
    [[nodiscard]] const QString &displayValues() const { return m_displayValues; }
    DBGridColumn &setDisplayValues(const QString &values) { return set(m_displayValues, values); }

private:
    template<class T> DBGridColumn &set(T &member, const T &value)
    {
        member = value;
        return *this;
    }

    QString m_fieldName;
    QString m_title;
    int m_width = 0;
    Qt::Alignment m_alignment;
    Qt::Alignment m_titleAlignment;
    bool m_readOnly = false;
    QColor m_color;
    QColor m_textColor;
    QColor m_titleColor;
    QColor m_titleBackground;
    std::optional<QFont> m_font;
    QString m_displayValues;
};
