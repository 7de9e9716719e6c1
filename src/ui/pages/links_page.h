#pragma once

#include "core/rules.h"
#include "ui/kit/palette.h"

#include <QList>
#include <QWidget>

class QLineEdit;
class QScrollArea;
class QTimer;
class QVBoxLayout;

namespace corvane {

class PageCard;
class CountBadge;
class IconButton;
class Model;
class PaletteLabel;
class PendingRow;
class RecentRow;
class SiteIcon;
class ToneIcon;
class VantraButton;

// The Links tab: a tester that shows where a typed link would go, the links
// waiting for a profile, and the links opened recently. Every list is rebuilt
// from the model whenever the model publishes it.
class LinksPage : public QWidget {
    Q_OBJECT

public:
    LinksPage(Model& model, const VantraPalette& palette, QWidget* parent = nullptr);

    // The example in the tester's placeholder and failure hint.
    static constexpr const char* exampleHost = "example.com";

    // The tester can open what is typed: a web link, while nothing is routing.
    bool canOpenTest() const;

    QLineEdit* testField() const { return m_field; }
    IconButton* clearButton() const { return m_clear; }
    PageCard* resultCard() const { return m_result; }
    QString resultTitle() const;
    QString resultDetail() const;
    VantraButton* openTestButton() const { return m_openTest; }
    // The count next to "Waiting for a profile"; null while nothing waits.
    CountBadge* pendingBadge() const { return m_badge; }
    const QList<PendingRow*>& pendingRows() const { return m_pendingRows; }
    const QList<RecentRow*>& recentRows() const { return m_recentRows; }
    QScrollArea* scrollArea() const { return m_scroll; }
    // Rebuilds the lists now if the model changed them since the last
    // rebuild; otherwise that happens on the event loop's next turn.
    void rebuildLists();

signals:
    // "Create rule": a new rule for the editor; nothing is saved yet.
    void createRule(const corvane::Rule& rule);

private:
    QWidget* buildTestSection();
    QWidget* buildWaitingSection();
    QWidget* buildRecentSection();
    void updateField();
    void updateResult();
    void scheduleRebuild(bool& stale);
    void rebuildPending();
    void rebuildRecent();
    void updateRouting();
    void submit();

    Model& m_model;
    const VantraPalette& m_palette;
    QScrollArea* m_scroll;
    QTimer* m_rebuild;
    bool m_pendingStale = false;
    bool m_recentStale = false;

    QLineEdit* m_field = nullptr;
    IconButton* m_clear = nullptr;
    PageCard* m_result = nullptr;
    QWidget* m_resultIcon = nullptr; // a 28-point square holding one of the two below
    SiteIcon* m_siteIcon = nullptr;
    ToneIcon* m_failIcon = nullptr;
    PaletteLabel* m_resultTitle = nullptr;
    PaletteLabel* m_resultDetail = nullptr;
    VantraButton* m_openTest = nullptr;

    QWidget* m_waitingBody = nullptr; // rebuilt whole
    QVBoxLayout* m_waitingLayout = nullptr;
    CountBadge* m_badge = nullptr;
    QList<PendingRow*> m_pendingRows;

    QWidget* m_recentSection = nullptr;
    QWidget* m_recentBody = nullptr; // rebuilt whole
    QVBoxLayout* m_recentLayout = nullptr;
    QList<RecentRow*> m_recentRows;
};

} // namespace corvane
