#pragma once

#include "studio/Services.h"

namespace tarnwick::bench {

// Services that answer at once and remember nothing: a bench measures the studio, not dialogs.

class NoMicrophone final : public MicrophoneAccess
{
public:
    Status status() const override { return Status::authorised; }
    void request(std::function<void(bool)> answer) override { answer(true); }
};

class NoTrash final : public Trash
{
public:
    QString moveToTrash(const QString &path) override { return path; }
    void restore(const QString &, const QString &) override {}
};

class NoChooser final : public FileChooser
{
public:
    std::optional<QString> chooseFolder(const QString &) override { return std::nullopt; }
    std::optional<QString> chooseScenarioFile(const QString &) override { return std::nullopt; }
};

class NoAlert final : public ModalAlert
{
public:
    void show(const QString &, const QString &) override {}
};

class NoDefaults final : public UserDefaults
{
public:
    std::optional<QString> text(const QString &) const override { return std::nullopt; }
    void setText(const QString &, const QString &) override {}
};

inline StudioServices quietServices()
{
    return StudioServices{std::make_unique<NoMicrophone>(), std::make_unique<NoTrash>(),
                          std::make_unique<NoChooser>(), std::make_unique<NoAlert>(),
                          std::make_unique<NoDefaults>()};
}

} // namespace tarnwick::bench
