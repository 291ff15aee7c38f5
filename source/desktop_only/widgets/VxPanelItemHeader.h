#pragma once
// VxPanelItemHeader: a section header of the tool panel: an icon, the
// section's name and an arrow. A click collapses or expands the section
// (the items below it up to the next header).

#include <QPixmap>

#include "foundation/GrowString.h"
#include "widgets/VxPanelItem.h"

class VxPanelItemHeader : public VxPanelItem {
    Q_OBJECT
public:
    VxPanelItemHeader(const GrowString& sectionName, const QString& iconPath, QWidget* parent);
    ~VxPanelItemHeader() override;

    const GrowString& name() const { return name_; }
    bool collapsed() const { return collapsed_; }
    // Collapses or expands the section and repaints (the panel lays out).
    void setCollapsed(bool collapse);

    ItemKind itemKind() const override { return kHeaderItem; }
    int itemHeight() const override { return 30; }

signals:
    void collapseToggled(VxPanelItemHeader* header);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    GrowString name_;
    QPixmap icon;  // drawn at half its size
    bool collapsed_ = false;
};
