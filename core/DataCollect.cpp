#include "core/DataCollect.h"

DataCollect* DataCollect::m_pInstanse = nullptr;

DataCollect* DataCollect::instanse()
{
    if (!m_pInstanse)
        m_pInstanse = new DataCollect;
    return m_pInstanse;
}

void DataCollect::release()
{
    delete m_pInstanse;
    m_pInstanse = nullptr;
}
