#pragma once
// The engine's one stop message ("Error: Insufficient memory") shown by a
// dialog: as a stop box on the dialog's thread while the dialog lives.

class IFlashDlgView;

class CStopMessageOwner {
public:
    // From here on the view shows the message.
    explicit CStopMessageOwner(IFlashDlgView& view);
    // The message goes to stderr again (unless another owner came since).
    ~CStopMessageOwner();
    CStopMessageOwner(const CStopMessageOwner&) = delete;
    CStopMessageOwner& operator=(const CStopMessageOwner&) = delete;

private:
    IFlashDlgView* m_pView;
};
