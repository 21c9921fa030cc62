// SPDX-License-Identifier: MIT
#include "views/popover/ProviderCards.h"

#include "model/ClaudeMetrics.h"
#include "model/Formatting.h"
#include "views/common/MetricViews.h"
#include "views/common/UsageState.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLocale>
#include <QPainter>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

void clearLayout(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget())
            delete widget;
        else if (QLayout* inner = item->layout())
            clearLayout(inner);
        delete item;
    }
}

QWidget* centred(QWidget* content, int horizontal, int vertical)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(horizontal, vertical, horizontal, vertical);
    layout->addWidget(content);
    layout->addStretch(1);
    return box;
}

} // namespace

QString kindIcon(QStringView kind)
{
    if (kind == u"session" || kind == u"five_hour")
        return u"clock"_s;
    if (kind == u"weekly_all" || kind == u"seven_day")
        return u"calendar"_s;
    return u"gauge.with.dots.needle.bottom.50percent"_s;
}

bool isModelWeeklyKind(QStringView kind)
{
    return kind.startsWith(u"weekly_") && kind != u"weekly_all";
}

QList<ProviderMetric> mainMetrics(const UsageResponse& usage)
{
    QList<ProviderMetric> result = claudeMetrics(usage);
    result.removeIf([](const ProviderMetric& metric) { return isModelWeeklyKind(metric.kind); });
    return result;
}

QList<ProviderMetric> modelMetrics(const UsageResponse& usage)
{
    QList<ProviderMetric> result = claudeMetrics(usage);
    result.removeIf([](const ProviderMetric& metric) { return !isModelWeeklyKind(metric.kind); });
    return result;
}

QList<QPair<QString, double>> modelBreakdown(const UsageResponse& usage)
{
    QList<QPair<QString, double>> result;
    const std::pair<const char16_t*, const std::optional<UsageWindow>*> windows[] = {
        {u"Sonnet", &usage.sevenDaySonnet},
        {u"Opus", &usage.sevenDayOpus},
        {u"Fable", &usage.sevenDayFable},
        {u"Fable 5", &usage.sevenDayFable5},
    };
    for (const auto& [name, window] : windows) {
        if (*window)
            result.append({QString::fromUtf16(name), (*window)->utilization});
    }
    return result;
}

ExtraUsageStatus extraUsageStatus(const ExtraUsage& extra)
{
    const QString symbol = extra.isEnabled ? u"creditcard.fill"_s : u"creditcard"_s;
    if (!extra.isEnabled)
        return {symbol, u"Disabled"_s, TextColor::of(Tone::Tertiary)};
    if (extra.usedCredits && extra.monthlyLimit)
        return {symbol, moneyText(*extra.usedCredits) + u" / "_s + moneyText(*extra.monthlyLimit),
                TextColor::of(Tone::Secondary)};
    return {symbol, u"Enabled"_s, TextColor::accent(style::Accent::Green)};
}

QString copilotPlanText(const QString& plan)
{
    return capitalizedText(QString(plan).replace(u'_', u' '));
}

bool ProviderCard::beginUpdate(const QString& structure)
{
    if (m_built && structure == m_structure)
        return false;
    clearLayout(body());
    m_metricRows.clear();
    m_modelRows.clear();
    m_structure = structure;
    m_built = true;
    return true;
}

QWidget* ProviderCard::header(AIProvider provider, const QString& badge)
{
    setAccessibleGroup(this, QAccessible::Grouping, productName(provider));
    auto* title = new TextLabel(productName(provider), TextStyle::Headline);
    title->setObjectName(u"cardTitle"_s);
    TextLabel* plan = nullptr;
    if (!badge.isEmpty()) {
        plan = new TextLabel(badge, TextStyle::Caption, TextColor::of(Tone::Secondary));
        plan->setObjectName(u"plan"_s);
    }
    return hbox({new ProviderLogo(provider, 20), title, nullptr, plan}, 8);
}

UsageCardView::UsageCardView(const UsageResponse& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                             QWidget* parent)
    : ProviderCard(12, parent)
{
    setData(usage, history, mode);
}

void UsageCardView::setData(const UsageResponse& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode)
{
    const QList<ProviderMetric> main = mainMetrics(usage);
    const QList<ProviderMetric> models = modelMetrics(usage);
    const auto breakdown = modelBreakdown(usage);
    QString structure;
    for (const ProviderMetric& metric : main + models)
        structure += metric.id() + u'|';
    for (const auto& [name, utilization] : breakdown)
        structure += name + u'|';
    if (usage.extraUsage)
        structure += u"extra:"_s + extraUsageStatus(*usage.extraUsage).text;

    if (!beginUpdate(structure)) {
        for (qsizetype i = 0; i < main.size(); ++i)
            m_metricRows[i]->setMetric(main[i], history, mode);
        qsizetype row = 0;
        for (const auto& [name, utilization] : breakdown)
            m_modelRows[row++]->setUtilization(utilization, mode);
        for (const ProviderMetric& metric : models)
            m_modelRows[row++]->setUtilization(metric.percent, mode);
        return;
    }

    body()->addWidget(header(AIProvider::Claude));
    body()->addWidget(sourceNoteLabel());
    body()->addWidget(new Divider);
    for (const ProviderMetric& metric : main) {
        auto* row = new MetricRow(metric, history, mode, kindIcon(metric.kind));
        m_metricRows.append(row);
        body()->addWidget(row);
    }
    if (!models.isEmpty() || !breakdown.isEmpty()) {
        body()->addWidget(new Divider);
        auto* heading = new TextLabel(u"Model Breakdown"_s, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
        heading->setTextStyle(TextStyle::Subheadline, QFont::Medium);
        heading->setObjectName(u"modelBreakdown"_s);
        body()->addWidget(heading);
        auto* list = new QWidget;
        auto* rows = new QVBoxLayout(list);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->setSpacing(8);
        for (const auto& [name, utilization] : breakdown)
            m_modelRows.append(new ModelRow(name, utilization, mode));
        for (const ProviderMetric& metric : models)
            m_modelRows.append(new ModelRow(metric.title, metric.percent, mode));
        for (ModelRow* row : std::as_const(m_modelRows))
            rows->addWidget(row);
        body()->addWidget(list);
    }
    if (usage.extraUsage) {
        const ExtraUsageStatus status = extraUsageStatus(*usage.extraUsage);
        body()->addWidget(new Divider);
        auto* label = new TextLabel(u"Extra Usage"_s, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
        auto* value = new TextLabel(status.text, TextStyle::Caption, status.color);
        value->setObjectName(u"extraUsage"_s);
        if (status.text.startsWith(u'$'))
            value->setTextStyle(TextStyle::Caption, QFont::Normal, true);
        auto* symbol = new SymbolLabel(status.symbol, symbolSize(TextStyle::Caption), TextColor::of(Tone::Secondary));
        symbol->setObjectName(u"extraUsageSymbol"_s);
        body()->addWidget(hbox({symbol, label, nullptr, value}, 6));
    }
}

QWidget* ProviderCard::sourceNoteLabel()
{
    m_sourceNote = new TextLabel(QString(), TextStyle::Caption, TextColor::of(Tone::Secondary));
    m_sourceNote->setObjectName(u"sourceNote"_s);
    m_sourceNote->setWordWrap(true);
    setSourceNote(m_note);
    return m_sourceNote;
}

void ProviderCard::setSourceNote(const QString& note)
{
    m_note = note;
    if (!m_sourceNote)
        return;
    m_sourceNote->setText(note);
    m_sourceNote->setVisible(!note.isEmpty());
}

CodexUsageView::CodexUsageView(const CodexUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                               QWidget* parent)
    : ProviderCard(12, parent)
{
    setData(usage, history, mode);
}

void CodexUsageView::setData(const CodexUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode)
{
    const QList<ProviderMetric> metrics = codexMetrics(usage);
    QString structure = usage.plan.value_or(QString()) + u'|';
    for (const ProviderMetric& metric : metrics)
        structure += metric.id() + u'|';
    structure += usage.limitReached ? u"limit|"_s : u"|"_s;
    if (usage.creditBalance)
        structure += moneyText(*usage.creditBalance);

    if (!beginUpdate(structure)) {
        for (qsizetype i = 0; i < metrics.size(); ++i)
            m_metricRows[i]->setMetric(metrics[i], history, mode);
        return;
    }

    body()->addWidget(header(AIProvider::ChatGPT, usage.plan ? capitalizedText(*usage.plan) : QString()));
    body()->addWidget(sourceNoteLabel());
    body()->addWidget(new Divider);
    if (metrics.isEmpty()) {
        auto* none =
            new TextLabel(u"No usage windows reported."_s, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
        none->setObjectName(u"noWindows"_s);
        body()->addWidget(none);
    }
    for (const ProviderMetric& metric : metrics) {
        auto* row = new MetricRow(metric, history, mode);
        m_metricRows.append(row);
        body()->addWidget(row);
    }
    if (usage.limitReached || usage.creditBalance) {
        body()->addWidget(new Divider);
        QWidget* limit = nullptr;
        QWidget* credits = nullptr;
        if (usage.limitReached) {
            const TextColor red = TextColor::accent(style::Accent::Red);
            auto* text = new TextLabel(u"Limit reached"_s, TextStyle::Caption, red);
            text->setObjectName(u"limitReached"_s);
            limit = hbox(
                {new SymbolLabel(u"exclamationmark.octagon.fill"_s, symbolSize(TextStyle::Caption), red), text}, 4);
        }
        if (usage.creditBalance) {
            auto* text = new TextLabel(u"Credits: "_s + moneyText(*usage.creditBalance), TextStyle::Caption,
                                       TextColor::of(Tone::Secondary));
            text->setTextStyle(TextStyle::Caption, QFont::Normal, true);
            text->setObjectName(u"credits"_s);
            credits = text;
        }
        body()->addWidget(hbox({limit, nullptr, credits}, 8));
    }
}

CopilotUsageView::CopilotUsageView(const CopilotUsage& usage, const QList<UsageSnapshot>& history,
                                   QuotaDisplayMode mode, QWidget* parent)
    : ProviderCard(12, parent)
{
    setData(usage, history, mode);
}

void CopilotUsageView::setData(const CopilotUsage& usage, const QList<UsageSnapshot>& history, QuotaDisplayMode mode)
{
    const QList<ProviderMetric> metrics = copilotMetrics(usage);
    const auto metricFor = [&metrics](const CopilotQuota& quota) -> const ProviderMetric* {
        for (const ProviderMetric& metric : metrics) {
            if (metric.kind == quota.id)
                return &metric;
        }
        return nullptr;
    };
    const auto subtitle = [](const CopilotQuota& quota) -> QString {
        return QString::number(quota.used) + u" / "_s + QString::number(quota.entitlement) + u" used"_s;
    };
    QString structure = usage.plan.value_or(QString()) + u'|';
    for (const CopilotQuota& quota : usage.quotas)
        structure += quota.id + (quota.unlimited ? u":u|"_s : metricFor(quota) ? u":m|"_s : u":-|"_s);

    if (!beginUpdate(structure)) {
        qsizetype row = 0;
        for (const CopilotQuota& quota : usage.quotas) {
            if (const ProviderMetric* metric = quota.unlimited ? nullptr : metricFor(quota))
                m_metricRows[row++]->setMetric(*metric, history, mode, subtitle(quota));
        }
        return;
    }

    body()->addWidget(header(AIProvider::Copilot, usage.plan ? copilotPlanText(*usage.plan) : QString()));
    body()->addWidget(new Divider);
    for (const CopilotQuota& quota : usage.quotas) {
        if (quota.unlimited) {
            auto* title = new TextLabel(quota.title, TextStyle::Subheadline);
            auto* value =
                new TextLabel(u"Unlimited"_s, TextStyle::Subheadline, TextColor::accent(style::Accent::Green));
            value->setTextStyle(TextStyle::Subheadline, QFont::Bold);
            value->setObjectName(u"unlimited"_s);
            body()->addWidget(hbox({title, nullptr, value}, 8));
        } else if (const ProviderMetric* metric = metricFor(quota)) {
            auto* row = new MetricRow(*metric, history, mode, {}, subtitle(quota));
            m_metricRows.append(row);
            body()->addWidget(row);
        }
    }
}

BusyIndicator::BusyIndicator(int side, QWidget* parent) : QWidget(parent)
{
    setFixedSize(side, side);
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    if (!m_timer)
        m_timer = startTimer(33);
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    if (m_timer)
        killTimer(m_timer);
    m_timer = 0;
    QWidget::hideEvent(event);
}

void BusyIndicator::timerEvent(QTimerEvent*)
{
    m_angle = (m_angle + 12) % 360;
    update();
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = width() / 8.0;
    const QRectF circle = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    painter.setPen(QPen(style::textColor(Tone::Quaternary, palette()), pen));
    painter.drawEllipse(circle);
    painter.setPen(QPen(style::textColor(Tone::Secondary, palette()), pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(circle, (90 - m_angle) * 16, -100 * 16);
}

LoadingView::LoadingView(QWidget* parent) : QWidget(parent)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* text = new TextLabel(u"Loading usage data..."_s, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
    text->setObjectName(u"loading"_s);
    column->addWidget(new BusyIndicator(20), 0, Qt::AlignHCenter);
    column->addWidget(text, 0, Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(centred(content, 12, 60));
}

QString asOfText(const QDateTime& asOf, const QDateTime& now)
{
    const QDateTime local = asOf.toLocalTime();
    if (local.date() == now.toLocalTime().date())
        return u"as of "_s + clockTimeText(asOf);
    return u"as of "_s + QLocale().toString(local.date(), u"MMM d"_s) + u", "_s + clockTimeText(asOf);
}

ProblemView::ProblemView(AIProvider provider, QWidget* parent)
    : QWidget(parent), m_provider(provider),
      m_icon(new SymbolLabel(u"exclamationmark.triangle"_s, 40, TextColor::accent(style::Accent::Orange))),
      m_title(new TextLabel({}, TextStyle::Headline)),
      m_headline(new TextLabel({}, TextStyle::Subheadline, TextColor::of(Tone::Primary))),
      m_message(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))),
      m_retry(new GlassButton(u"arrow.clockwise"_s, u"Retry"_s)), m_lastGood(new QWidget),
      m_asOf(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))), m_rows(new QVBoxLayout)
{
    m_icon->setObjectName(u"icon"_s);
    m_title->setObjectName(u"title"_s);
    m_title->setAlignment(Qt::AlignHCenter);
    m_headline->setObjectName(u"headline"_s);
    m_message->setObjectName(u"message"_s);
    for (TextLabel* label : {m_headline, m_message}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignHCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_retry->setObjectName(u"retry"_s);
    m_retry->setProminent(true);
    connect(m_retry, &QAbstractButton::clicked, this, &ProblemView::retryRequested);

    // The last values stay readable but plainly not current.
    m_lastGood->setObjectName(u"lastGood"_s);
    m_asOf->setObjectName(u"asOf"_s);
    auto* lastColumn = new QVBoxLayout(m_lastGood);
    lastColumn->setContentsMargins(0, 8, 0, 0);
    lastColumn->setSpacing(8);
    lastColumn->addWidget(new Divider);
    lastColumn->addWidget(m_asOf);
    m_rows->setSpacing(8);
    lastColumn->addLayout(m_rows);
    auto* dim = new QGraphicsOpacityEffect(m_lastGood);
    dim->setOpacity(0.5);
    m_lastGood->setGraphicsEffect(dim);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(m_icon, 0, Qt::AlignHCenter);
    column->addWidget(m_title);
    column->addWidget(m_headline);
    column->addWidget(m_message);
    column->addWidget(m_retry, 0, Qt::AlignHCenter);
    column->addWidget(m_lastGood);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(centred(content, 12, 24));
}

void ProblemView::setProblem(const QString& message, const std::optional<ProviderNotice>& notice,
                             const std::optional<LastGoodValues>& lastGood, QuotaDisplayMode mode)
{
    using Kind = ProviderNotice::Kind;
    const Kind kind = notice ? notice->kind : Kind::Failed;
    QString icon = u"exclamationmark.triangle"_s;
    QString title;
    switch (kind) {
    case Kind::Failed:
        if (m_provider == AIProvider::ChatGPT)
            icon = u"person.crop.circle.badge.exclamationmark"_s;
        title = m_provider == AIProvider::Claude ? u"Unable to load data"_s : rawValue(m_provider) + u" unavailable"_s;
        break;
    case Kind::NotSignedIn:
        icon = u"person.crop.circle.badge.exclamationmark"_s;
        title = productName(m_provider); // the headline says the rest
        break;
    case Kind::Expired:
        icon = u"person.crop.circle.badge.exclamationmark"_s;
        title = u"Sign-in expired"_s;
        break;
    case Kind::RateLimited:
        icon = u"clock.arrow.circlepath"_s;
        title = u"Rate limited"_s;
        break;
    }
    m_icon->setSymbol(icon, kind == Kind::NotSignedIn ? TextColor::of(Tone::Secondary)
                                                      : TextColor::accent(style::Accent::Orange));
    m_title->setText(title);
    m_headline->setText(notice ? notice->headline : QString());
    m_headline->setVisible(notice && !notice->headline.isEmpty());
    m_message->setText(message);
    // Asking again before the service allows it would only be refused again.
    m_retry->setVisible(m_provider == AIProvider::Claude && kind != Kind::RateLimited);

    m_lastGood->setVisible(lastGood.has_value());
    clearLayout(m_rows);
    if (lastGood) {
        m_asOf->setText(u"Last values, "_s + asOfText(lastGood->asOf, viewNow()));
        for (const ProviderMetric& metric : lastGood->metrics)
            m_rows->addWidget(new ModelRow(metric.title, metric.percent, mode));
    }
}

} // namespace tallyvue
