#include "FrameWnd.h"

#include <QMetaObject>
#include <QTimerEvent>

namespace marlin {

bool CStatusBar::Create(CFrameWnd* parent, std::uint32_t style, unsigned id)
{
    if (!parent)
        return false;
    m_parent = parent;
    m_style = style;
    m_id = id;
    return true;
}

bool CStatusBar::SetIndicators(const unsigned* ids, int count)
{
    if (!m_parent || count < 0)
        return false;
    m_panes.clear();
    for (int i = 0; i < count; ++i) {
        switch (ids[i]) {
        case ID_SEPARATOR: m_panes.emplace_back(); break;
        case ID_INDICATOR_CAPS: m_panes.emplace_back("CAP"); break;
        case ID_INDICATOR_NUM: m_panes.emplace_back("NUM"); break;
        case ID_INDICATOR_SCRL: m_panes.emplace_back("SCRL"); break;
        default: return false;  // no string for the pane
        }
    }
    return true;
}

CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd()
{
    for (const auto& [id, qtId] : m_timers)
        killTimer(qtId);
}

bool CFrameWnd::LoadFrame()
{
    CREATESTRUCT cs;
    if (!PreCreateWindow(cs))
        return false;
    m_style = cs.style;
    m_visible = (m_style & WS_VISIBLE) != 0;
    m_created = true;
    if (OnCreate() == -1) {
        DestroyWindow();
        return false;
    }
    if (!OnCreateClient()) {
        DestroyWindow();
        return false;
    }
    return true;
}

void CFrameWnd::ActivateFrame()
{
    ShowWindow(SW_SHOW);
    OnActivate(WA_ACTIVE);
}

void CFrameWnd::ShowWindow(int command)
{
    m_visible = command != SW_HIDE;
}

void CFrameWnd::DestroyWindow()
{
    if (!m_created)
        return;
    OnDestroy();
    m_created = false;
    m_visible = false;
    emit windowDestroyed();
}

void CFrameWnd::PostCommand(unsigned id)
{
    QMetaObject::invokeMethod(
        this, [this, id] { if (m_created) OnCommand(id); }, Qt::QueuedConnection);
}

std::uintptr_t CFrameWnd::SetTimer(std::uintptr_t id, int elapseMs)
{
    if (id == 0 || elapseMs < 0)
        return 0;
    KillTimer(id);
    int qtId = startTimer(elapseMs, Qt::PreciseTimer);
    if (qtId == 0)
        return 0;
    m_timers[id] = qtId;
    return id;
}

bool CFrameWnd::KillTimer(std::uintptr_t id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return false;
    killTimer(it->second);
    m_timers.erase(it);
    return true;
}

void CFrameWnd::timerEvent(QTimerEvent* event)
{
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
}

bool CFrameWnd::PreCreateWindow(CREATESTRUCT&) { return true; }
int CFrameWnd::OnCreate() { return 0; }
bool CFrameWnd::OnCreateClient() { return true; }
void CFrameWnd::OnActivate(unsigned) {}
void CFrameWnd::OnTimer(std::uintptr_t) {}
void CFrameWnd::OnDestroy() {}

void CFrameWnd::OnCommand(unsigned id)
{
    if (id == ID_APP_EXIT)
        OnClose();
}

void CFrameWnd::OnClose()
{
    DestroyWindow();
}

}  // namespace marlin
