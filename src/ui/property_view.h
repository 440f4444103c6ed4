// The read-only panel beneath each tab: the rig node being edited, the host
// joint assigned to it, the joint's rest geometry as stored (translation,
// rotations as Euler angles in degrees, scale, rotation limits, parent-offset
// rotation, rotation order), the host's current single selection and the
// characterization's validation text. Nothing in it can be typed into; a
// double click on the joint field opens the completion dialog to assign
// another joint.
#ifndef SKW_UI_PROPERTY_VIEW_H
#define SKW_UI_PROPERTY_VIEW_H

#include <QFrame>
#include <QLineEdit>

#include <vector>

class CharacterizationModel;
class IDCCHub;
class QGridLayout;
class QLabel;
class QMouseEvent;
class QTextEdit;

// A line edit that hands its double clicks on as a signal instead of
// selecting a word.
class LineEditWithMouseBroadcast : public QLineEdit {
    Q_OBJECT

public:
    explicit LineEditWithMouseBroadcast(QWidget* parent = nullptr);

signals:
    void mouseDoubleClickSent(QMouseEvent* event);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// One value row: X, Y and Z fields and how the three values are shown.
struct PropertyRow {
    enum Kind {
        QuaternionAsDegrees = 0,  // a rotation quaternion as Euler angles
        RadiansAsDegrees = 1,
        Plain = 2
    };
    QLineEdit* fields[3];
    int kind;
};

class PropertyView : public QFrame {
    Q_OBJECT

public:
    // The hub may be null: the selection field then stays empty and the joint
    // field's double click opens nothing.
    PropertyView(QWidget* parent, IDCCHub* hub, CharacterizationModel* model);
    ~PropertyView() override;

public slots:
    void ChangeEditPart(int oldEditedPartId, int newEditedPartId, bool isReadWrite);
    // Shows the model's edited part.
    void UpdateView();

private slots:
    void BoneDoubleClick(QMouseEvent* event);
    void OnDccSelect();

protected:
    void changeEvent(QEvent* event) override;

private:
    QLineEdit* MakeReadOnlyLineEdit();
    // Widens the value columns to their texts (see the definition).
    void fitValueFields();
    void AddPropertyRow(QGridLayout* grid, int gridRow, const QString& label, int kind);
    void showNode(int node);

    IDCCHub* hub_;
    CharacterizationModel* model_;
    QLineEdit* nodeField_;
    LineEditWithMouseBroadcast* jointField_;
    QTextEdit* validationText_;
    QLineEdit* selectionField_;
    QLineEdit* rotationOrderField_;
    std::vector<PropertyRow> rows_;
    // "Selected bone in skeleton:", the widest heading of the right-hand
    // column.
    QLabel* selectionHeading_ = nullptr;
};

#endif
