#pragma once

#include "app/presenters.h"
#include "picker_panel.h"
#include "picker_state.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <optional>

namespace corvane {

class Model;
class PickerView;

// Shows the picker beside the pointer for a link that no rule claims, and
// turns the user's answer into calls on the model.
//
// Construction: the model is handed in `model` or, when that is null, reached
// through Model::shared() at the moment it is needed, because the model takes
// its picker at construction:
//
//     PickerController picker;           // before the model exists
//     environment.picker = &picker;
//     Model& model = Model::setupShared(std::move(environment));
//
// "Connect to <Browser> first" calls Model::showWindow(), which reaches the
// window presenter given to the model. Light or dark comes from the shared
// Appearance, as the window's does; setDarkMode() replaces that (tests).
class PickerController : public QObject, public PickerPresenter {
    Q_OBJECT

public:
    explicit PickerController(Model* model = nullptr, QObject* parent = nullptr);
    ~PickerController() override;

    void setModel(Model* model) { m_model = model; }
    // Called just before a panel goes up and takes the keyboard.
    std::function<void()> beforeShowing;
    void setDarkMode(std::function<bool()> isDark) { m_isDark = std::move(isDark); }

    // The same link again keeps its panel as it is, unless the profiles have
    // changed meanwhile; another link replaces it.
    void present(const Pending& link, const QStringList& profiles) override;
    // Hides the panel and forgets the link; records nothing.
    void close();

    // What is on screen, for the shell and for tests.
    PickerPanel* panel() const { return m_panel; }
    PickerView* view() const { return m_view; }
    PickerState* state() const { return m_state; }
    std::optional<Uuid> presentedID() const { return m_presentedID; }

    // Where a panel of `size` goes for the pointer at `mouse` on a screen whose
    // usable area is `available`: 8 points right of and below the pointer and
    // at least 8 points inside the area; when both cannot hold, the right and
    // top edges win.
    static QPoint origin(const QPoint& mouse, const QSize& size, const QRect& available);
    // The same for the pointer now, on the screen under it.
    static QPoint originAtPointer(const QSize& size);

private:
    Model& model() const;
    bool isDark() const;
    void handleKey(PickerKey key);
    void choose(int row);
    void dismiss();
    void openApp();

    Model* m_model = nullptr;
    std::function<bool()> m_isDark;
    QPointer<PickerPanel> m_panel;
    QPointer<PickerView> m_view;
    QPointer<PickerState> m_state;
    std::optional<Uuid> m_presentedID;
    Pending m_link;
    QStringList m_profiles;
    QString m_host;
};

} // namespace corvane
