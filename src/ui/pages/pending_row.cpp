#include "pending_row.h"

#include "app/model.h"
#include "core/router.h"
#include "menu_button.h"
#include "page_card.h"
#include "ui/kit/button_style.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/site_icon.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace corvane {

namespace {

constexpr double siteIconSize = 22;
constexpr int iconGap = 10;

} // namespace

PendingRow::PendingRow(const Pending& link, Model& model, const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_link(link)
{
    const QString text = QString::fromStdString(link.url.text);
    const QString host = QString::fromStdString(link.url.host.value_or(""));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(10);

    auto* top = new QHBoxLayout;
    top->setSpacing(iconGap);
    top->addWidget(new SiteIcon(host, palette, siteIconSize), 0, Qt::AlignVCenter);
    auto* url = new LinkLine(text, palette, 13, QFont::Medium);
    url->setObjectName("url");
    top->addWidget(url, 1);
    column->addLayout(top);

    auto* reason = new PaletteLabel(link.reason, palette, 12, QFont::Normal, PaletteLabel::Tone::muted);
    reason->setObjectName("reason");
    reason->setWordWrap(true);
    reason->setContentsMargins(int(siteIconSize) + iconGap, 0, 0, 0);
    column->addWidget(reason);

    m_controls = new QWidget;
    auto* buttons = new QHBoxLayout(m_controls);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);

    m_open = new MenuButton(link.attempted ? "Retry in\u2026" : "Open in\u2026", palette, 30);
    m_open->setObjectName("openIn");
    QList<MenuButton::Item> items;
    const Uuid id = link.id;
    for (const QString& profile : model.profiles())
        items.append({profile, [&model, id, profile] { model.retry(id, profile); }});
    if (items.isEmpty())
        items.append({"Refresh profiles first", [&model] { model.refresh(false); }});
    m_open->setItems(items);
    buttons->addWidget(m_open);

    auto* create = new VantraButton("Create rule", palette, false, 30);
    create->setObjectName("createRule");
    const std::string ruleHost = Router::ruleHost(link.url);
    const std::string firstProfile = model.profiles().isEmpty() ? "" : model.profiles().first().toStdString();
    connect(create, &QAbstractButton::clicked, this, [this, ruleHost, firstProfile] {
        // Nothing is saved here: the editor commits it, or not.
        emit createRule(Rule::make(MatchKind::domain, ruleHost, firstProfile));
    });
    buttons->addWidget(create);

    auto* copy = new VantraButton("Copy link", palette, false, 30);
    copy->setObjectName("copyLink");
    connect(copy, &QAbstractButton::clicked, this, [text] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
    });
    buttons->addWidget(copy);

    auto* discard = new VantraButton("Discard", palette, false, 30);
    discard->setObjectName("discard");
    connect(discard, &QAbstractButton::clicked, this, [&model, id] { model.discard(id); });
    buttons->addWidget(discard);
    buttons->addStretch(1);

    m_controls->setEnabled(!model.isRouting());
    column->addWidget(m_controls);
}

} // namespace corvane
