#pragma once

#include <QFont>
#include <QLineF>
#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QTransform>

class QPainter;

// The four views of the left ventricle on which wall motion is scored.
enum class SegmentView { FourChamber, TwoChamber, LongAxis, ShortAxis };

// The other chambers and vessels a view shows around the left ventricle, for orientation only:
// the right ventricle, the aortic root and the left atrium.
enum class Surroundings { Drawn, LeftOut };

// Black-on-white line drawings of the four views, painted with QPainter so that the wall-motion
// page and the printed report draw the same picture at any scale. Every drawing is designed on a
// square of kSize units; the wall segments are hatched strips, each labelled with its number and
// name beside the place where a score goes.
//
// Everything here is stateless: the geometry is computed on first use and shared read-only. A
// segment a view does not show has an empty strip; an unknown segment has an empty name.
namespace SegmentViews {

constexpr int kSize = 199;
constexpr qreal kBoxWidth = 17;
constexpr qreal kBoxHeight = 21;
constexpr qreal kThinLine = 0.6; // valves and leaders

// Where one segment's score goes on one view, in the view's design units.
struct Slot
{
    SegmentView view;
    int segment; // 1..16, the segment-score column Cn
    QRectF box; // the score box, kBoxWidth x kBoxHeight
    QRectF label; // number over name, level with the box and beside it, towards the drawing
    QLineF leader; // from the label to its strip; null where the label already touches the strip
};

// The 21 slots, view by view, each view's slots in the order the Tab key visits them.
[[nodiscard]] const QList<Slot> &scoreSlots();

// The segments a view shows as scored strips.
[[nodiscard]] QList<int> segments(SegmentView view);

// A thin line from a label (a box in design units) to the segment's strip, for a label that stands
// apart from it; null where the label is close enough to need none.
[[nodiscard]] QLineF leader(SegmentView view, int segment, const QRectF &label);

// The label's name line: the short-axis view names segment 9 "mid inf post".
[[nodiscard]] QString segmentName(SegmentView view, int segment);

// A segment's strip as a closed outline in design units; empty if the view does not show it.
[[nodiscard]] QPainterPath stripPath(SegmentView view, int segment);

// 9 units high, number line bold. Its pixel size counts in design units.
[[nodiscard]] QFont defaultLabelFont();

// Maps design units into target: uniform scale, centred along the longer side.
[[nodiscard]] QTransform transformFor(const QRectF &target);

// Draws the view into target (strips, orientation walls, labels and leaders; no score boxes). The
// background is left as it is. labelFont's pixel size counts in design units, so the labels keep
// their place beside the boxes at any scale; a font sized in points is taken as that many units.
void paint(QPainter &painter, SegmentView view, const QRectF &target,
           const QFont &labelFont = defaultLabelFont());
// The drawing alone: strips and the other walls, no labels or leaders, for layouts that place
// their own labels; with the surroundings left out, only the left ventricle.
void paintWalls(QPainter &painter, SegmentView view, const QRectF &target,
                Surroundings surroundings = Surroundings::Drawn);

} // namespace SegmentViews
