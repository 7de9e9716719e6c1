#pragma once

#include "core/rules.h"
#include "core/url.h"
#include "platform/activation.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace corvane {

// A link waiting for its turn or for a profile.
struct Pending {
    Uuid id;
    Url url;                        // as accepted by Router::incoming
    std::optional<QString> profile; // none: the user has to pick one
    QString reason;                 // why this profile, or why the last attempt failed
    bool attempted = false;         // tried, and neither succeeded nor retried since
    Activation activation;          // the desktop's, for the browser that opens it; used once
    bool operator==(const Pending&) const = default;
};

// A link that was handed to the browser.
struct Opened {
    Uuid id;
    Url url;
    QString profile;
    QString reason; // the waiting link's reason when it was opened
    bool reused = false;
    bool operator==(const Opened&) const = default;
};

// What the link test found for the text in the test field.
struct PreviewResult {
    std::optional<QString> profile;
    QString detail;
    bool failed = false;
    bool operator==(const PreviewResult&) const = default;
};

// The pages of the main window, in display order.
enum class AppTab { rules, links, settings };

// A newer release announced by the update feed.
struct UpdateInfo {
    QString version;
    QUrl page;
    std::optional<QUrl> zip;
    bool operator==(const UpdateInfo&) const = default;
};

} // namespace corvane
