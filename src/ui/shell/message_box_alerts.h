#pragma once

#include "app/presenters.h"

namespace corvane {

// The model's alerts as modal message boxes, brought in front of every other
// window while they run.
class MessageBoxAlerts : public AlertPresenter {
public:
    void run(const Alert& alert, std::function<void(int response)> done) override;
};

} // namespace corvane
