// SPDX-License-Identifier: MIT
// The states where a figure is not current or a provider needs the user.
#include "shell/gallery/Gallery.h"

#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "providers/UsageServiceError.h"
#include "shell/TrayLabel.h"
#include "views/common/Style.h"
#include "views/details/DetailWindowView.h"
#include "views/popover/MenuBarView.h"

#include <QApplication>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace tallyvue::gallery {
namespace {

struct Scene
{
    const char* name;
    WorkspacePage page;
    UsageState state;
    /// What the label shows from, and says about it.
    QList<ProviderMetric> labelMetrics;
    TrayLabelNotes notes;
};

QList<ProviderMetric> claudeValues()
{
    return {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, kNow.addSecs(7500), 18000},
            {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, kNow.addSecs(3 * 86400), 604800}};
}

QList<ProviderMetric> chatgptValues()
{
    return {{AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 12, kNow.addSecs(3600), 18000}};
}

UsageState baseState()
{
    UsageState state;
    state.now = kNow;
    state.lastUpdated = kNow.addSecs(-1560);
    return state;
}

std::size_t slot(AIProvider provider)
{
    return static_cast<std::size_t>(provider);
}

QList<Scene> scenes()
{
    QList<Scene> list;
    const QDateTime asOf = kNow.addSecs(-1560); // 11:34
    const LastGoodValues claudeLast{claudeValues(), asOf};

    // Claude stopped answering: its last values stay, dimmed, with their time.
    Scene stale{"stale", {AIProvider::Claude}, baseState(), claudeValues(), {}};
    stale.state.errorMessage = u"Network error: Connection refused"_s;
    stale.state.lastGood[slot(AIProvider::Claude)] = claudeLast;
    stale.notes.stale = {{AIProvider::Claude, asOf}};
    stale.notes.problems = {{AIProvider::Claude, u"unable to load data"_s}};
    list.append(stale);

    // Claude is chosen but fails with nothing to fall back on: ChatGPT's figure stands in, lettered.
    Scene fallback{"fallback", {AIProvider::Claude}, baseState(), chatgptValues(), {}};
    fallback.state.lastUpdated.reset();
    fallback.state.errorMessage = u"API returned HTTP 500: Internal Server Error"_s;
    fallback.state.codexUsage = CodexUsage{};
    fallback.state.allMetrics = chatgptValues();
    fallback.notes.problems = {{AIProvider::Claude, u"unable to load data"_s}};
    list.append(fallback);

    // ChatGPT was never signed in on this computer: a hint, not an alarm.
    Scene signedOut{"signed-out", {AIProvider::ChatGPT}, baseState(), claudeValues(), {}};
    signedOut.state.codexError = UsageServiceError::of(UsageServiceError::Kind::ConfigFileNotFound).description();
    signedOut.state.notices[slot(AIProvider::ChatGPT)] =
        providerNotice(AIProvider::ChatGPT, UsageServiceError::of(UsageServiceError::Kind::ConfigFileNotFound), kNow);
    signedOut.state.allMetrics = claudeValues();
    list.append(signedOut);

    // Copilot's sign-in ran out.
    Scene expired{"expired", {AIProvider::Copilot}, baseState(), claudeValues(), {}};
    const UsageServiceError unauthorized =
        UsageServiceError::invalidResponse(401, u"{\"message\":\"Bad credentials\"}"_s);
    expired.state.copilotError = unauthorized.description();
    expired.state.notices[slot(AIProvider::Copilot)] = providerNotice(AIProvider::Copilot, unauthorized, kNow);
    expired.state.allMetrics = claudeValues();
    list.append(expired);

    // Claude asks us to come back later.
    Scene limited{"rate-limited", {AIProvider::Claude}, baseState(), claudeValues(), {}};
    UsageServiceError tooMany = UsageServiceError::invalidResponse(429, u"{\"error\":\"rate_limited\"}"_s);
    tooMany.retryAfterSeconds = 600;
    limited.state.errorMessage = tooMany.description();
    limited.state.notices[slot(AIProvider::Claude)] = providerNotice(AIProvider::Claude, tooMany, kNow.addSecs(600));
    limited.state.lastGood[slot(AIProvider::Claude)] = claudeLast;
    limited.notes.stale = {{AIProvider::Claude, asOf}};
    limited.notes.problems = {{AIProvider::Claude, trayProblemText(limited.state.notices[0])}};
    list.append(limited);

    // Claude refuses to answer, but Claude Code's newer figures stand in, with their source.
    Scene standIn{"claude-code-figures", {AIProvider::Claude}, baseState(), claudeValues(), {}};
    UsageResponse fromClaudeCode;
    fromClaudeCode.fiveHour = UsageWindow{42.7, formatWholeSecondTimestamp(kNow.addSecs(7500))};
    fromClaudeCode.sevenDay = UsageWindow{63, formatWholeSecondTimestamp(kNow.addSecs(3 * 86400))};
    standIn.state.usage = fromClaudeCode;
    standIn.state.allMetrics = claudeValues();
    const FigureSource claudeCode{u"claude-code"_s, u"Claude Code"_s, kNow.addSecs(-180), {}};
    standIn.state.sources[slot(AIProvider::Claude)] = claudeCode;
    standIn.notes.sources = {{AIProvider::Claude, figureSourceText(claudeCode, kNow)}};
    list.append(standIn);

    // No Codex login on this computer, but Codex's logs hold its figures: they stand in, with a hint.
    Scene fromLog{"codex-log-figures", {AIProvider::ChatGPT}, baseState(), chatgptValues(), {}};
    CodexUsage logged;
    logged.windows = {{u"primary"_s, u"5-Hour"_s, 12, 3600, 300}};
    logged.fetchedAt = kNow;
    fromLog.state.codexUsage = logged;
    fromLog.state.allMetrics = chatgptValues();
    fromLog.state.sources[slot(AIProvider::ChatGPT)] =
        FigureSource{u"codex-log"_s, u"Codex's log"_s, kNow.addSecs(-720),
                     u"Signing in to Codex with a file-based login gives live figures."_s};
    fromLog.notes.sources = {
        {AIProvider::ChatGPT, figureSourceText(*fromLog.state.sources[slot(AIProvider::ChatGPT)], kNow)}};
    list.append(fromLog);
    return list;
}

/// The tray label as a panel shows it, with its tooltip below.
QImage trayStrip(const TrayLabel& label, bool dark, qreal dpr, int width)
{
    const QColor panel = dark ? QColor(0x2B2B2B) : QColor(0xE8E8E8);
    const QColor ink = dark ? QColor(0xF2F2F2) : QColor(0x1D1D1F);
    const QStringList tip = label.toolTip.split(u'\n');
    const int height = 32 + 8 + 18 * int(tip.size()) + 12;
    QImage image(int(width * dpr), int(height * dpr), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(dark ? QColor(0x1E1E20) : QColor(0xF6F6F8));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, width, 32), panel);
    painter.drawImage(QPointF(10, 6), renderTrayImage(label, 20, dpr, ink));
    QFont font = QApplication::font();
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(QRectF(36, 0, width - 40, 32), Qt::AlignVCenter | Qt::AlignLeft, label.text);
    font.setWeight(QFont::Normal);
    font.setPixelSize(12);
    painter.setFont(font);
    const QRectF box(10, 40, width - 20, 18 * tip.size() + 4);
    painter.setPen(dark ? QColor(0x555555) : QColor(0xC8C8C8));
    painter.setBrush(dark ? QColor(0x2A2A2D) : QColor(0xFFFFFF));
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(ink);
    for (int i = 0; i < tip.size(); ++i)
        painter.drawText(QRectF(18, 42 + 18 * i, width - 36, 18), Qt::AlignVCenter | Qt::AlignLeft, tip[i]);
    return image;
}

} // namespace

bool renderStateScenes(const QString& dir, bool dark)
{
    bool ok = true;
    const qreal dpr = qApp->devicePixelRatio();
    const QString suffix = (dpr > 1 ? u"@2x"_s : QString()) + (dark ? u"-dark.png"_s : u"-light.png"_s);
    for (const Scene& scene : scenes()) {
        Preferences::instance().setSelectedPage(scene.page);
        Preferences::instance().setSelectedTab(AppTab::Models);
        Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
        MenuBarView view;
        view.setState(scene.state);
        view.show();
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
        const QImage panel = view.grab().toImage();
        view.hide();

        TrayLabelSettings settings;
        settings.selectedBadge = u"Claude:session"_s;
        const QImage strip = trayStrip(makeTrayLabel(scene.labelMetrics, settings, kNow, scene.notes), dark, dpr,
                                       MenuBarView::kSize.width());
        const qreal gap = 12;
        QImage canvas(panel.width(), int(panel.height() + (gap + strip.height() / dpr) * dpr),
                      QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(dpr);
        canvas.fill(dark ? QColor(0x1E1E20) : QColor(0xF6F6F8));
        QPainter painter(&canvas);
        painter.drawImage(QPointF(0, 0), panel);
        painter.drawImage(QPointF(0, panel.height() / dpr + gap), strip);
        painter.end();
        const QString path = dir + u"/state-"_s + QString::fromLatin1(scene.name) + suffix;
        ok &= save(canvas, path);
    }
    // The details window of a failing provider: its gauges are the last values, and say so; and
    // the same with Claude Code's figures standing in.
    for (const Scene& scene : scenes()) {
        const QString name = QString::fromLatin1(scene.name);
        if (name != u"stale" && name != u"claude-code-figures")
            continue;
        Preferences::instance().setDetailPage(scene.page);
        DetailWindowView details;
        UsageState state = scene.state;
        if (!state.usage)
            state.usage = UsageResponse{};
        state.allMetrics = claudeValues();
        details.setState(state);
        details.resize(DetailWindowView::kDefaultSize);
        details.show();
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
        ok &= save(details.grab().toImage(), dir + u"/state-"_s + name + u"-details"_s + suffix);
    }
    return ok;
}

} // namespace tallyvue::gallery
