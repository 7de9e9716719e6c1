#pragma once

#include "app/model.h"
#include "app/presenters.h"
#include "platform/fake/fake_platform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace corvane::testing {

class FakePicker : public PickerPresenter {
public:
    QList<Pending> presented;
    QList<QStringList> profiles;
    void present(const Pending& link, const QStringList& names) override
    {
        presented << link;
        profiles << names;
    }
};

class FakeWindow : public WindowPresenter {
public:
    int shown = 0;
    void showWindow() override { ++shown; }
};

// A model on real temporary folders, a fake desktop and a real routing helper:
// a shell script that logs each request it gets and answers as the test says.
class ModelTest : public ::testing::Test {
protected:
    static constexpr const char* profilesAnswer = "echo '[\"Work\",\"Personal\"]'";
    static constexpr const char* openedAnswer = "echo '{\"reused\":false}'";

    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<Model> makeModel();
    // Installs the routing helper. Each body is shell code run for one request
    // kind; "$3" is the request and $log the log file.
    void useRunner(const QString& routeBody, const QString& profilesBody = profilesAnswer);
    // One line per request, the request JSON as received.
    QStringList requests() const;
    // The "route" requests only.
    QStringList routedUrls() const;
    QString path(const QString& name) const { return dir.filePath(name); }
    // Spins the event loop until the model has nothing in flight.
    bool waitIdle(Model& model, int timeoutMs = 5000);

    QTemporaryDir dir;
    FakePlatform platform;
    FakePicker picker;
    FakeWindow window;
    ModelEnvironment env;

private:
    QList<std::pair<QByteArray, std::optional<QByteArray>>> m_savedEnvironment;
};

Configuration withDefault(const QString& profile);
Configuration withRules(std::vector<Rule> rules, std::optional<std::string> defaultProfile = std::nullopt);
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace corvane::testing
