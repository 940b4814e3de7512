#pragma once

#include <QString>

namespace tarnwick {

/// An exclusive advisory lock on "<root>/.tarnwick.lock", held for the object's life. A second
/// lease on the same folder fails, in this process or another; a crashed holder loses it.
class ProjectLease final
{
public:
    explicit ProjectLease(const QString &root); // throws StudioError
    ~ProjectLease();

    ProjectLease(const ProjectLease &) = delete;
    ProjectLease &operator=(const ProjectLease &) = delete;

private:
    int m_descriptor = -1;
};

} // namespace tarnwick
