#include "math/CameraPath.h"

#include "pack/PackReader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

const std::size_t kRecordSize = 24;

// Values are little-endian on disk whatever the host's byte order.
float ReadFloatLE(const unsigned char* p)
{
    const uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                          (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return std::bit_cast<float>(bits);
}

} // namespace

bool CCameraPath::LoadFromMemory(const void* data, std::size_t size)
{
    m_Frames.clear();
    if (!data)
        return false;
    const std::size_t count = size / kRecordSize;
    if (count == 0)
        return false;

    m_Frames.resize(count);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned char* record = bytes + k * kRecordSize;
        SFrame& frame = m_Frames[k];
        const math::vector inches = {ReadFloatLE(record), ReadFloatLE(record + 4), ReadFloatLE(record + 8)};
        frame.m_vPos = InchesToMeters(inches);
        frame.m_vAngles = {ReadFloatLE(record + 12), ReadFloatLE(record + 16), ReadFloatLE(record + 20)};
    }
    return true;
}

math::matrix CCameraPath::GetCameraTransform(float t) const
{
    if (m_Frames.empty()) {
        math::matrix identity = {};
        identity[0] = identity[5] = identity[10] = identity[15] = 1.0f;
        return identity;
    }

    // Written so that NaN lands on 0 as well.
    if (!(static_cast<double>(t) >= 0.0))
        t = 0.0f;
    else if (static_cast<double>(t) > 1.0)
        t = 1.0f;

    const long long n = static_cast<long long>(m_Frames.size());
    const long long last = n - 1;
    const float f = static_cast<float>(n) * t;
    const float b = std::floor(f);
    const float frac = f - b;
    const long long i = static_cast<long long>(b);

    // The first frame serves as its own predecessor, the last as its own successors.
    const long long i1 = std::clamp(i, 0LL, last);
    const long long i0 = std::max(i1 - 1, 0LL);
    const long long i2 = std::min(i1 + 1, last);
    const long long i3 = std::min(i1 + 2, last);
    const SFrame& f0 = m_Frames[i0];
    const SFrame& f1 = m_Frames[i1];
    const SFrame& f2 = m_Frames[i2];
    const SFrame& f3 = m_Frames[i3];

    const math::quat rotation =
        math::quat_catmull_rom(math::gen_euler_quat(f0.m_vAngles), math::gen_euler_quat(f1.m_vAngles),
                               math::gen_euler_quat(f2.m_vAngles), math::gen_euler_quat(f3.m_vAngles), frac);
    const math::vector position = math::catmull_rom(f0.m_vPos, f1.m_vPos, f2.m_vPos, f3.m_vPos, frac);

    // Translate(position) * Rotate(rotation): the product reduces to the rotation with the
    // position in the last column.
    math::matrix result = rotation;
    result[12] = position.x;
    result[13] = position.y;
    result[14] = position.z;
    result[15] = 1.0f;
    return result;
}

bool CCameraPath::LoadPath(const char* name)
{
    m_Frames.clear();
    const std::unique_ptr<IData> blob = CPackReader::LoadData(name);
    if (!blob || blob->GetSize() < 0)
        return false;
    return LoadFromMemory(blob->GetData(), static_cast<std::size_t>(blob->GetSize()));
}
