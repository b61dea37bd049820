#include "platform/engine/DataSource.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"

DataLink::~DataLink()
{
    if (m_source)
        m_source->removeLink(this);
}

void DataLink::setDataSource(DataSource *source)
{
    if (source == m_source)
        return;
    if (m_source)
        m_source->removeLink(this);
    m_source = source;
    if (m_source)
        m_source->addLink(this);
    updateState();
}

Dataset *DataLink::dataset() const
{
    return m_source ? m_source->dataset() : nullptr;
}

bool DataLink::edit()
{
    if (m_source && !m_editing)
        m_source->edit();
    return m_editing;
}

void DataLink::updateState()
{
    const bool active = m_source && m_source->isEnabled() && m_source->dataset()
        && m_source->dataset()->isActive();
    const DatasetState st = active ? m_source->state() : DatasetState::Inactive;
    const bool editing = active && (st == DatasetState::Edit || st == DatasetState::Insert);
    if (active != m_active) {
        m_active = active;
        m_editing = editing;
        activeChanged();
        return;
    }
    if (editing != m_editing) {
        m_editing = editing;
        editingChanged();
    }
}

void DataLink::dataEvent(DataEvent event, Field *field)
{
    if (event == DataEvent::UpdateState) {
        updateState();
        return;
    }
    if (!m_active)
        return;
    switch (event) {
    case DataEvent::FieldChange:
    case DataEvent::RecordChange:
        recordChanged(field);
        break;
    case DataEvent::DataSetChange:
        dataSetChanged();
        break;
    case DataEvent::DataSetScroll:
        dataSetScrolled();
        break;
    case DataEvent::LayoutChange:
        layoutChanged();
        break;
    case DataEvent::UpdateRecord:
        updateData();
        break;
    case DataEvent::CheckBrowseMode:
        checkBrowseMode();
        break;
    case DataEvent::FocusControl:
        focusControl(field);
        break;
    case DataEvent::UpdateState:
        break;
    }
}

DataSource::DataSource(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<Field *>();
}

DataSource::~DataSource()
{
    if (m_dataset)
        m_dataset->removeDataSource(this);
    const auto links = m_links;
    for (DataLink *link : links)
        link->setDataSource(nullptr);
}

Dataset *DataSource::dataset() const
{
    return m_dataset;
}

void DataSource::setDataset(Dataset *dataset)
{
    if (dataset == m_dataset)
        return;
    if (m_dataset)
        m_dataset->removeDataSource(this);
    m_dataset = dataset;
    if (m_dataset)
        m_dataset->addDataSource(this);
    notify(DataEvent::UpdateState, nullptr);
}

void DataSource::setEnabled(bool enabled)
{
    m_enabled = enabled;
    notify(DataEvent::UpdateState, nullptr);
}

DatasetState DataSource::state() const
{
    return m_dataset ? m_dataset->state() : DatasetState::Inactive;
}

void DataSource::edit()
{
    if (m_autoEdit && m_dataset && m_dataset->state() == DatasetState::Browse)
        m_dataset->edit();
}

void DataSource::addLink(DataLink *link)
{
    if (!m_links.contains(link))
        m_links.append(link);
}

void DataSource::removeLink(DataLink *link)
{
    m_links.removeAll(link);
}

void DataSource::notify(DataEvent event, Field *field)
{
    // A link may detach itself (or another) while it handles the event.
    const auto links = m_links;
    for (DataLink *link : links) {
        if (m_links.contains(link))
            link->dataEvent(event, field);
    }
    switch (event) {
    case DataEvent::UpdateState:
        Q_EMIT stateChanged();
        break;
    case DataEvent::FieldChange:
    case DataEvent::RecordChange:
        Q_EMIT dataChanged(field);
        break;
    case DataEvent::DataSetChange:
    case DataEvent::DataSetScroll:
    case DataEvent::LayoutChange:
        Q_EMIT dataChanged(nullptr);
        break;
    case DataEvent::UpdateRecord:
        Q_EMIT updateData();
        break;
    default:
        break;
    }
}
