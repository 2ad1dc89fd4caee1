// Parameter sets, access-unit delimiters and filler data of the stand-in's stream.
#include "parameter_sets.h"

#include <numeric>

namespace qzt::h264 {
namespace {

bool HasChromaFormatFields(uint32_t profileIdc) {
    switch (profileIdc) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135:
            return true;
        default:
            return false;
    }
}

// num_units_in_tick and time_scale for a frame rate of numerator / denominator (two ticks per
// frame), reduced so that both fit in 32 bits.
void TimingFields(uint32_t numerator, uint32_t denominator, uint32_t& unitsInTick, uint32_t& timeScale) {
    uint64_t units = denominator == 0 ? 1 : denominator;
    uint64_t scale = 2ull * (numerator == 0 ? 1 : numerator);
    const uint64_t divisor = std::gcd(units, scale / 2);
    units /= divisor;
    scale /= divisor;
    while (scale > 0xFFFFFFFFull) {
        scale >>= 1;
        units = units > 1 ? units >> 1 : 1;
    }
    unitsInTick = static_cast<uint32_t>(units);
    timeScale = static_cast<uint32_t>(scale);
}

}  // namespace

void AppendParameterSets(const StreamSettings& settings, CodedUnit& out) {
    const int mbWidth = (settings.width + 15) / 16;
    const int mbHeight = (settings.height + 15) / 16;
    std::vector<uint8_t> rbsp;
    BitWriter w(rbsp);
    w.Bits(settings.profileIdc, 8);
    w.Bits(0, 8);  // constraint_set flags and reserved bits
    w.Bits(settings.levelIdc, 8);
    w.Ue(0);  // seq_parameter_set_id
    if (HasChromaFormatFields(settings.profileIdc)) {
        w.Ue(1);        // chroma_format_idc 4:2:0
        w.Ue(0);        // bit_depth_luma_minus8
        w.Ue(0);        // bit_depth_chroma_minus8
        w.Flag(false);  // qpprime_y_zero_transform_bypass_flag
        w.Flag(false);  // seq_scaling_matrix_present_flag
    }
    w.Ue(kLog2MaxFrameNum - 4);
    w.Ue(2);        // pic_order_cnt_type 2: output order is decoding order
    w.Ue(1);        // max_num_ref_frames
    w.Flag(false);  // gaps_in_frame_num_value_allowed_flag
    w.Ue(static_cast<uint32_t>(mbWidth - 1));
    w.Ue(static_cast<uint32_t>(mbHeight - 1));
    w.Flag(true);  // frame_mbs_only_flag
    w.Flag(true);  // direct_8x8_inference_flag
    const uint32_t cropRight = static_cast<uint32_t>(mbWidth * 16 - settings.width) / 2;
    const uint32_t cropBottom = static_cast<uint32_t>(mbHeight * 16 - settings.height) / 2;
    w.Flag(cropRight != 0 || cropBottom != 0);
    if (cropRight != 0 || cropBottom != 0) {
        w.Ue(0);
        w.Ue(cropRight);
        w.Ue(0);
        w.Ue(cropBottom);
    }
    w.Flag(settings.timingInfo);  // vui_parameters_present_flag
    if (settings.timingInfo) {
        w.Flag(false);  // aspect_ratio_info_present_flag
        w.Flag(false);  // overscan_info_present_flag
        w.Flag(false);  // video_signal_type_present_flag
        w.Flag(false);  // chroma_loc_info_present_flag
        w.Flag(true);   // timing_info_present_flag
        uint32_t unitsInTick = 0;
        uint32_t timeScale = 0;
        TimingFields(settings.fpsNumerator, settings.fpsDenominator, unitsInTick, timeScale);
        w.Bits(unitsInTick, 32);
        w.Bits(timeScale, 32);
        w.Flag(true);   // fixed_frame_rate_flag
        w.Flag(false);  // nal_hrd_parameters_present_flag
        w.Flag(false);  // vcl_hrd_parameters_present_flag
        w.Flag(false);  // pic_struct_present_flag
        w.Flag(true);   // bitstream_restriction_flag
        w.Flag(true);   // motion_vectors_over_pic_boundaries_flag
        w.Ue(2);        // max_bytes_per_pic_denom
        w.Ue(1);        // max_bits_per_mb_denom
        w.Ue(15);       // log2_max_mv_length_horizontal
        w.Ue(15);       // log2_max_mv_length_vertical
        w.Ue(0);        // max_num_reorder_frames
        w.Ue(1);        // max_dec_frame_buffering
    }
    w.TrailingBits();
    out.AppendNal(3, kNalSps, rbsp);
    rbsp.clear();

    w.Ue(0);                // pic_parameter_set_id
    w.Ue(0);                // seq_parameter_set_id
    w.Flag(false);          // entropy_coding_mode_flag: CAVLC
    w.Flag(false);          // bottom_field_pic_order_in_frame_present_flag
    w.Ue(0);                // num_slice_groups_minus1
    w.Ue(0);                // num_ref_idx_l0_default_active_minus1
    w.Ue(0);                // num_ref_idx_l1_default_active_minus1
    w.Flag(false);          // weighted_pred_flag
    w.Bits(0, 2);           // weighted_bipred_idc
    w.Se(kPicInitQp - 26);  // pic_init_qp_minus26
    w.Se(0);                // pic_init_qs_minus26
    w.Se(0);                // chroma_qp_index_offset
    w.Flag(true);           // deblocking_filter_control_present_flag
    w.Flag(false);          // constrained_intra_pred_flag
    w.Flag(false);          // redundant_pic_cnt_present_flag
    w.TrailingBits();
    out.AppendNal(3, kNalPps, rbsp);
}

void AppendAccessUnitDelimiter(bool intraOnly, CodedUnit& out) {
    std::vector<uint8_t> rbsp;
    BitWriter w(rbsp);
    w.Bits(intraOnly ? 0 : 1, 3);  // primary_pic_type
    w.TrailingBits();
    out.AppendNal(0, kNalAud, rbsp);
}

void AppendFiller(uint32_t totalBytes, CodedUnit& out) {
    if (totalBytes < kMinFillerBytes) {
        return;
    }
    // Start code and header take 5 bytes, the trailing bits one: the rest is 0xFF payload.
    std::vector<uint8_t> rbsp(totalBytes - kMinFillerBytes, 0xFF);
    rbsp.push_back(0x80);
    out.AppendNal(0, kNalFiller, rbsp);
}

}  // namespace qzt::h264
