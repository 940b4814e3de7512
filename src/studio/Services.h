#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

/// Whether sound may be taken from the microphone. Desktop Linux has no prompt, but the studio
/// is written for systems that ask, so the waiting path exists and is tested.
class MicrophoneAccess
{
public:
    enum class Status { notDetermined, restricted, denied, authorised };

    virtual ~MicrophoneAccess() = default;
    virtual Status status() const = 0;
    /// Asks the user; `answer` may be called later and on any thread.
    virtual void request(std::function<void(bool granted)> answer) = 0;
};

/// The user's trash. Throws StudioError naming the file when it cannot be moved.
class Trash
{
public:
    virtual ~Trash() = default;
    /// Where the file went inside the trash.
    virtual QString moveToTrash(const QString &path) = 0;
    /// Puts a file moved by `moveToTrash` back at `destination`, which must not exist.
    virtual void restore(const QString &trashedPath, const QString &destination) = 0;
};

/// Modal choosers of a project folder and of a scenario file; nothing when the user cancels.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    virtual std::optional<QString> chooseFolder(const QString &prompt) = 0;
    /// JSON files and XLSX workbooks.
    virtual std::optional<QString> chooseScenarioFile(const QString &prompt) = 0;
};

/// A modal alert with one button, shown when quitting cannot save a take.
class ModalAlert
{
public:
    virtual ~ModalAlert() = default;
    virtual void show(const QString &title, const QString &text) = 0;
};

/// Small texts kept between runs. Tests give their own store and never touch the user's.
class UserDefaults
{
public:
    virtual ~UserDefaults() = default;
    virtual std::optional<QString> text(const QString &key) const = 0;
    virtual void setText(const QString &key, const QString &value) = 0;
};

/// The platform services the studio needs, each replaceable by a fake.
struct StudioServices
{
    std::unique_ptr<MicrophoneAccess> microphone;
    std::unique_ptr<Trash> trash;
    std::unique_ptr<FileChooser> chooser;
    std::unique_ptr<ModalAlert> alert;
    std::unique_ptr<UserDefaults> defaults;
};

} // namespace tarnwick
