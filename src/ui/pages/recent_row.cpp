#include "recent_row.h"

#include "core/router.h"
#include "page_card.h"
#include "ui/kit/button_style.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/site_icon.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace corvane {

RecentRow::RecentRow(const Opened& link, const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_link(link)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(10);
    row->addWidget(new SiteIcon(QString::fromStdString(link.url.host.value_or("")), palette, 20), 0,
                   Qt::AlignVCenter);

    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    auto* url = new LinkLine(QString::fromStdString(link.url.text), palette, 13, QFont::Medium);
    url->setObjectName("url");
    column->addWidget(url);
    auto* outcome = new PaletteLabel(this->outcome(), palette, 11, QFont::Normal, PaletteLabel::Tone::muted);
    outcome->setObjectName("outcome");
    outcome->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    outcome->setMinimumWidth(1);
    outcome->setToolTip(outcome->text());
    column->addWidget(outcome);
    row->addLayout(column, 1);

    if (!link.reason.startsWith("Rule ")) {
        m_create = new VantraButton("Create rule", palette, false, 28);
        m_create->setObjectName("createRule");
        const Rule rule =
            Rule::make(MatchKind::domain, Router::ruleHost(link.url), link.profile.toStdString());
        connect(m_create, &QAbstractButton::clicked, this, [this, rule] {
            // A fresh id per click: two editors never share one rule.
            Rule fresh = rule;
            fresh.id = Uuid::random();
            emit createRule(fresh);
        });
        row->addWidget(m_create, 0, Qt::AlignVCenter);
    }
}

QString RecentRow::outcome() const
{
    return (m_link.reused ? "Switched to the open tab in " : "Opened in ") + m_link.profile + " \u00b7 " +
           m_link.reason;
}

} // namespace corvane
