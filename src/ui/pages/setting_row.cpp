#include "setting_row.h"

#include "page_card.h"
#include "ui/kit/page_pieces.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace corvane {

SettingRow::SettingRow(const QString& title, const QString& detail, QWidget* control,
                       const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_title(new PaletteLabel(title, palette, 13, QFont::Medium)),
      m_detail(new PaletteLabel(detail, palette, 12, QFont::Normal, PaletteLabel::Tone::muted)),
      m_control(control)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 15, 16, 15);
    row->setSpacing(24);
    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    m_title->setObjectName("title");
    m_detail->setObjectName("detail");
    m_detail->setWordWrap(true);
    text->addWidget(m_title);
    text->addWidget(m_detail);
    row->addLayout(text, 1);
    if (control)
        row->addWidget(control, 0, Qt::AlignVCenter);
}

QString SettingRow::title() const
{
    return m_title->text();
}

QString SettingRow::detail() const
{
    return m_detail->text();
}

SettingsSection::SettingsSection(const QString& title, const QList<QWidget*>& rows,
                                 const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_title(new PaletteLabel(title, palette, 15, QFont::DemiBold))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(m_title);
    auto* card = new PageCard(palette);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i > 0)
            card->rows()->addWidget(sectionDivider(palette));
        card->rows()->addWidget(rows[i]);
    }
    column->addWidget(card);
}

QString SettingsSection::title() const
{
    return m_title->text();
}

QList<SettingRow*> SettingsSection::rows() const
{
    return findChildren<SettingRow*>();
}

} // namespace corvane
