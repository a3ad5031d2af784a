#pragma once
// libjpeg's whole-picture coefficient buffer for progressive files, kept in groups of rows that
// are given back to the system as the output passes them (see JpegStream.cpp).

#include "platform/LargeBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace quorvel::jpeg {

// Progressive files are decoded from a buffer of all their coefficients, which takes about as
// much memory as the picture they become. libjpeg would keep it whole until the decode ends, so
// that at the last row both are held whole. This store keeps the same rows under libjpeg's own
// rules, and once every scan has been read, gives each group of rows back to the system as soon
// as the output has passed it. Reading a row again after that stops the decode as bad data.
class CCoefficientStore
{
public:
    // Takes over libjpeg's whole-image coefficient buffers for this decoder. The store must
    // outlive the decoder's use of them.
    void Install(j_decompress_ptr info)
    {
        info->client_data = this;
        m_realizeOthers = info->mem->realize_virt_arrays;
        info->mem->request_virt_barray = Request;
        info->mem->realize_virt_arrays = Realize;
        info->mem->access_virt_barray = Access;
    }

    // From here on every scan has been read: rows behind the output are needed no more.
    void BeginOutput() { m_output = true; }

    ~CCoefficientStore()
    {
        for (CArray &array : m_arrays)
            array.ReleaseBelow(array.rows);
    }

private:
    // Rows are allocated in groups of at least this many bytes, so that a large picture takes
    // a few hundred allocations rather than thousands.
    static constexpr std::size_t GroupBytes = std::size_t(1) << 20;

    struct CGroup
    {
        void *data = nullptr;
        std::size_t bytes = 0;
    };

    struct CArray
    {
        JDIMENSION blocksPerRow = 0;
        JDIMENSION rows = 0;
        JDIMENSION maxAccess = 0;
        bool preZero = false;
        JDIMENSION rowsPerGroup = 1;
        JDIMENSION firstUndefinedRow = 0;
        JDIMENSION released = 0; // rows below this were given back
        std::vector<JBLOCKROW> rowPointers;
        std::vector<CGroup> groups;

        // Gives back the groups wholly below the row; all of them when the row is past the end.
        void ReleaseBelow(JDIMENSION row)
        {
            while (released < rows && !groups.empty()) {
                const JDIMENSION groupEnd = std::min(rows, released + rowsPerGroup);
                if (groupEnd > row && row < rows)
                    break;
                CGroup &group = groups[released / rowsPerGroup];
                FreeSystemPages(group.data, group.bytes);
                group = CGroup{};
                released = groupEnd;
            }
        }
    };

    static CCoefficientStore &Of(j_common_ptr info)
    {
        return *static_cast<CCoefficientStore *>(info->client_data);
    }

    static jvirt_barray_ptr Request(j_common_ptr info, int, boolean preZero,
                                    JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION maxAccess)
    {
        CCoefficientStore &store = Of(info);
        if (store.m_realized)
            ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
        CArray &array = store.m_arrays.emplace_back();
        array.blocksPerRow = blocksPerRow;
        array.rows = rows;
        array.maxAccess = maxAccess;
        array.preZero = preZero;
        // A handle that libjpeg only hands back to Access.
        return reinterpret_cast<jvirt_barray_ptr>(&array);
    }

    static void Realize(j_common_ptr info)
    {
        CCoefficientStore &store = Of(info);
        store.m_realizeOthers(info);
        store.m_realized = true;
        for (CArray &array : store.m_arrays) {
            const std::size_t rowBytes = std::size_t(array.blocksPerRow) * sizeof(JBLOCK);
            if (array.rows == 0 || rowBytes == 0)
                continue;
            array.rowsPerGroup = JDIMENSION(std::clamp<std::size_t>(
                (GroupBytes + rowBytes - 1) / rowBytes, 1, array.rows));
            array.rowPointers.assign(array.rows, nullptr);
            array.groups.resize((array.rows + array.rowsPerGroup - 1) / array.rowsPerGroup);
            for (std::size_t g = 0; g < array.groups.size(); ++g) {
                const JDIMENSION first = JDIMENSION(g) * array.rowsPerGroup;
                const JDIMENSION count = std::min(array.rowsPerGroup, array.rows - first);
                CGroup &group = array.groups[g];
                group.bytes = rowBytes * count;
                group.data = AllocateSystemPages(group.bytes);
                if (!group.data)
                    ERREXIT1(info, JERR_OUT_OF_MEMORY, 10);
                for (JDIMENSION r = 0; r < count; ++r)
                    array.rowPointers[first + r] =
                        reinterpret_cast<JBLOCKROW>(static_cast<char *>(group.data) + r * rowBytes);
            }
        }
    }

    // libjpeg's rules for a whole-image buffer held in memory: rows are written in order and
    // read only once written, or read ahead as zeros when the buffer starts zeroed. Memory from
    // the system is zero already.
    static JBLOCKARRAY Access(j_common_ptr info, jvirt_barray_ptr handle, JDIMENSION start,
                              JDIMENSION count, boolean writable)
    {
        CCoefficientStore &store = Of(info);
        CArray &array = *reinterpret_cast<CArray *>(handle);
        const JDIMENSION end = start + count;
        if (!store.m_realized || end > array.rows || end < start || count > array.maxAccess
            || start < array.released)
            ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
        if (array.firstUndefinedRow < end) {
            if (array.firstUndefinedRow < start && writable)
                ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
            if (!writable && !array.preZero)
                ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
            if (writable)
                array.firstUndefinedRow = end;
        }
        if (store.m_output && !writable)
            array.ReleaseBelow(start);
        return array.rowPointers.data() + start;
    }

    // Stable addresses: libjpeg holds pointers to the arrays.
    std::deque<CArray> m_arrays;
    void (*m_realizeOthers)(j_common_ptr) = nullptr;
    bool m_realized = false;
    bool m_output = false;
};

} // namespace quorvel::jpeg
