// H.264 syntax of the stand-in's stream: SPS, PPS, AUD and slices of I_PCM and P_Skip macroblocks.
#include "h264_coder.h"

#include "codec/bit_writer.h"

#include <cstring>
#include <numeric>

namespace qzt {
namespace {

constexpr int kLog2MaxFrameNum = 8;
constexpr uint32_t kMaxFrameNum = 1u << kLog2MaxFrameNum;
constexpr uint8_t kNalSlice = 1;
constexpr uint8_t kNalIdrSlice = 5;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr uint8_t kNalAud = 9;
constexpr uint32_t kSliceTypeP = 5;  // all slices of the picture are P
constexpr uint32_t kSliceTypeI = 7;  // all slices of the picture are I
constexpr uint32_t kMbTypeIPcmInI = 25;
constexpr uint32_t kMbTypeIPcmInP = 30;  // intra types follow the five P types
constexpr size_t kPcmBytes = 256 + 64 + 64;

bool HasChromaFormatFields(uint32_t profileIdc) {
    switch (profileIdc) {
        case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138:
        case 139: case 134: case 135:
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

H264Coder::H264Coder(const StreamSettings& settings)
    : settings_(settings), mbWidth_((settings.width + 15) / 16), mbHeight_((settings.height + 15) / 16) {}

void H264Coder::FinishNal(uint8_t nalRefIdc, uint8_t nalUnitType, CodedUnit& out) {
    out.nalStarts.push_back(out.bytes.size());
    AppendNalUnit(out.bytes, nalRefIdc, nalUnitType, rbsp_);
    rbsp_.clear();
}

void H264Coder::WriteParameterSets(bool withAud, CodedUnit& out) {
    rbsp_.clear();
    BitWriter w(rbsp_);
    if (withAud) {
        w.Bits(0, 3);  // primary_pic_type: I slices only (the IDR picture)
        w.TrailingBits();
        FinishNal(0, kNalAud, out);
    }

    w.Bits(settings_.profileIdc, 8);
    w.Bits(0, 8);  // constraint_set flags and reserved bits
    w.Bits(settings_.levelIdc, 8);
    w.Ue(0);  // seq_parameter_set_id
    if (HasChromaFormatFields(settings_.profileIdc)) {
        w.Ue(1);          // chroma_format_idc 4:2:0
        w.Ue(0);          // bit_depth_luma_minus8
        w.Ue(0);          // bit_depth_chroma_minus8
        w.Flag(false);    // qpprime_y_zero_transform_bypass_flag
        w.Flag(false);    // seq_scaling_matrix_present_flag
    }
    w.Ue(kLog2MaxFrameNum - 4);
    w.Ue(2);          // pic_order_cnt_type 2: output order is decoding order
    w.Ue(1);          // max_num_ref_frames
    w.Flag(false);    // gaps_in_frame_num_value_allowed_flag
    w.Ue(static_cast<uint32_t>(mbWidth_ - 1));
    w.Ue(static_cast<uint32_t>(mbHeight_ - 1));
    w.Flag(true);     // frame_mbs_only_flag
    w.Flag(true);     // direct_8x8_inference_flag
    const uint32_t cropRight = static_cast<uint32_t>(mbWidth_ * 16 - settings_.width) / 2;
    const uint32_t cropBottom = static_cast<uint32_t>(mbHeight_ * 16 - settings_.height) / 2;
    w.Flag(cropRight != 0 || cropBottom != 0);
    if (cropRight != 0 || cropBottom != 0) {
        w.Ue(0);
        w.Ue(cropRight);
        w.Ue(0);
        w.Ue(cropBottom);
    }
    w.Flag(settings_.timingInfo);  // vui_parameters_present_flag
    if (settings_.timingInfo) {
        w.Flag(false);  // aspect_ratio_info_present_flag
        w.Flag(false);  // overscan_info_present_flag
        w.Flag(false);  // video_signal_type_present_flag
        w.Flag(false);  // chroma_loc_info_present_flag
        w.Flag(true);   // timing_info_present_flag
        uint32_t unitsInTick = 0;
        uint32_t timeScale = 0;
        TimingFields(settings_.fpsNumerator, settings_.fpsDenominator, unitsInTick, timeScale);
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
    FinishNal(3, kNalSps, out);

    w.Ue(0);        // pic_parameter_set_id
    w.Ue(0);        // seq_parameter_set_id
    w.Flag(false);  // entropy_coding_mode_flag: CAVLC
    w.Flag(false);  // bottom_field_pic_order_in_frame_present_flag
    w.Ue(0);        // num_slice_groups_minus1
    w.Ue(0);        // num_ref_idx_l0_default_active_minus1
    w.Ue(0);        // num_ref_idx_l1_default_active_minus1
    w.Flag(false);  // weighted_pred_flag
    w.Bits(0, 2);   // weighted_bipred_idc
    w.Se(0);        // pic_init_qp_minus26
    w.Se(0);        // pic_init_qs_minus26
    w.Se(0);        // chroma_qp_index_offset
    w.Flag(true);   // deblocking_filter_control_present_flag
    w.Flag(false);  // constrained_intra_pred_flag
    w.Flag(false);  // redundant_pic_cnt_present_flag
    w.TrailingBits();
    FinishNal(3, kNalPps, out);
}

void H264Coder::WritePicture(const Picture& picture, const std::vector<uint8_t>& changed, bool idr, bool withAud,
                             uint32_t mbsPerSlice, CodedUnit& out) {
    if (idr) {
        frameNum_ = 0;
    }
    if (withAud) {
        rbsp_.clear();
        BitWriter w(rbsp_);
        w.Bits(idr ? 0 : 1, 3);  // primary_pic_type: I only, or I and P
        w.TrailingBits();
        FinishNal(0, kNalAud, out);
    }
    const int mbCount = MbCount();
    const int sliceSize = mbsPerSlice == 0 || mbsPerSlice >= static_cast<uint32_t>(mbCount)
                              ? mbCount
                              : static_cast<int>(mbsPerSlice);
    for (int first = 0; first < mbCount; first += sliceSize) {
        const int end = mbCount - first > sliceSize ? first + sliceSize : mbCount;
        WriteSlice(picture, changed, idr, first, end, out);
    }
    frameNum_ = (frameNum_ + 1) % kMaxFrameNum;
    if (idr) {
        idrPicId_ = (idrPicId_ + 1) % 65536;
    }
}

void H264Coder::WriteSlice(const Picture& picture, const std::vector<uint8_t>& changed, bool idr, int firstMb,
                           int endMb, CodedUnit& out) {
    rbsp_.clear();
    BitWriter w(rbsp_);
    w.Ue(static_cast<uint32_t>(firstMb));
    w.Ue(idr ? kSliceTypeI : kSliceTypeP);
    w.Ue(0);  // pic_parameter_set_id
    w.Bits(frameNum_, kLog2MaxFrameNum);
    if (idr) {
        w.Ue(idrPicId_);
        w.Flag(false);  // no_output_of_prior_pics_flag
        w.Flag(false);  // long_term_reference_flag
    } else {
        w.Flag(false);  // num_ref_idx_active_override_flag
        w.Flag(false);  // ref_pic_list_modification_flag_l0
        w.Flag(false);  // adaptive_ref_pic_marking_mode_flag: sliding window
    }
    w.Se(0);  // slice_qp_delta
    w.Ue(1);  // disable_deblocking_filter_idc: off, so decoding is exact
    if (idr) {
        for (int mb = firstMb; mb < endMb; ++mb) {
            w.Ue(kMbTypeIPcmInI);
            w.AlignWithZeros();
            AppendPcm(picture, mb);
        }
    } else {
        uint32_t skipRun = 0;
        for (int mb = firstMb; mb < endMb; ++mb) {
            if (changed[static_cast<size_t>(mb)] == 0) {
                ++skipRun;
                continue;
            }
            w.Ue(skipRun);
            skipRun = 0;
            w.Ue(kMbTypeIPcmInP);
            w.AlignWithZeros();
            AppendPcm(picture, mb);
        }
        if (skipRun != 0) {
            w.Ue(skipRun);
        }
    }
    w.TrailingBits();
    FinishNal(idr ? 3 : 2, idr ? kNalIdrSlice : kNalSlice, out);
}

void H264Coder::AppendPcm(const Picture& picture, int mb) {
    const size_t start = rbsp_.size();
    rbsp_.resize(start + kPcmBytes);
    uint8_t* to = rbsp_.data() + start;
    const int x = mb % mbWidth_ * 16;
    const int y = mb / mbWidth_ * 16;
    const uint8_t* luma = picture.y.data() + static_cast<size_t>(y) * picture.width + x;
    for (int row = 0; row < 16; ++row, luma += picture.width, to += 16) {
        std::memcpy(to, luma, 16);
    }
    const size_t chromaOffset = static_cast<size_t>(y / 2) * (picture.width / 2) + x / 2;
    for (const std::vector<uint8_t>* plane : {&picture.u, &picture.v}) {
        const uint8_t* chroma = plane->data() + chromaOffset;
        for (int row = 0; row < 8; ++row, chroma += picture.width / 2, to += 8) {
            std::memcpy(to, chroma, 8);
        }
    }
}

}  // namespace qzt
