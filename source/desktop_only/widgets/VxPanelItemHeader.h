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

    GrowString name;
    QPixmap icon;  // drawn at half its size
    bool collapsed = false;

    ItemKind itemKind() const override { return kHeaderItem; }
    int itemHeight() const override { return 30; }

signals:
    void collapseToggled(VxPanelItemHeader* header);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
