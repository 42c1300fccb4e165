#pragma once

#include "platform/DesktopServices.h"

#include <QObject>

// The real desktop: QDesktopServices for opening, the session bus for the file manager,
// the application's clipboard.
class QtDesktopServices final : public DesktopServices
{
public:
    bool openUrl(const QUrl &url) override;
    void showItems(const QStringList &uris, std::function<void(bool shown)> done) override;
    void setClipboardText(const QString &text) override;

private:
    // Owns the calls still waiting for the file manager; they end with it, unanswered.
    QObject m_pending;
};
