#include "encoder_state.h"

namespace svacenc {

bool Yuv::allocate(int w, int h)
{
    if (w < 2 || h < 2 || w > 8192 || h > 8192 || (w | h) & 1)
        return false;
    width = w;
    height = h;
    data.assign(size_t(w) * h * 3 / 2, 0);
    return true;
}

size_t Yuv::offset(int p) const
{
    const size_t luma = size_t(width) * height;
    return p == 0 ? 0 : p == 1 ? luma : luma + luma / 4;
}


Sps Encoder::State::sps() const
{
    Sps s;
    s.profile = 0x11;
    s.level_idc = 0x20;
    s.mb_width = uint32_t(mbw);
    s.mb_height = uint32_t(mbh);
    return s;
}

Pps Encoder::State::pps() const
{
    Pps p;
    p.aec_flag = cfg.entropy == Entropy::kArithmetic;
    p.pic_init_qp = 26;
    p.loop_filter_disable_flag = !cfg.loop_filter;
    return p;
}

bool Encoder::State::decode_into_cur(const std::vector<uint8_t> &stream)
{
    extension_data_record ext{};
    for (size_t offset = 0; offset < stream.size();) {
        const decode_input in{stream.data() + offset, int32_t(stream.size() - offset), 0};
        const int32_t used = ZQ_SVAC_Dec_Decode(decoder, &in, &ext);
        if (used < 0)
            return false;
        if (used == 0)
            break;
        offset += size_t(used);
    }
    output_frame_rec rec{};
    if (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(decoder, &rec) != 0)
        return false;
    // The decoder's pictures hold whole macroblock rows, also where it crops the height.
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < cur.height(p); ++y)
            std::memcpy(cur.at(p, 0, y), rec.plane[p] + size_t(y) * size_t(rec.stride[p]), size_t(cur.stride(p)));
    ZQ_SVACDEC_ZQ_SVAC_release_output_frame(decoder, &rec);
    return true;
}

Encoder::Encoder(const Config &config) : s_(new State)
{
    State &s = *s_;
    s.cfg = config;
    const Config &c = s.cfg;
    s.qp = std::min(std::max(c.qp, 0), 55);
    s.key_qp = s.qp;
    s.aec = c.entropy == Entropy::kArithmetic;
    if (c.width < 16 || c.height < 16 || c.width % 16 || c.width > 4096 || c.height > 4096) {
        s.error = "picture width must be a multiple of 16 (16..4096), height 16..4096";
        return;
    }
    s.mbw = c.width / 16;
    s.mbh = (c.height + 15) / 16;
    int shown = 0;
    const bool cropped = display_crop(c.width, 16 * s.mbh, &shown);
    if (shown != c.height || (c.height % 16 && !cropped)) {
        s.error = "picture height must be a multiple of 16 or one a decoder crops to";
        return;
    }
    if (c.gop < 1) {
        s.error = "gop must be at least 1";
        return;
    }
    if (c.min_qp < 0 || c.max_qp > 55 || c.min_qp > c.max_qp) {
        s.error = "QP limits must lie within 0..55";
        return;
    }
    if (c.cipher != 0 && !s.encryptor.set_key(c.cipher, c.key.data(), c.key.size())) {
        s.error = "cipher 1 takes an 8-byte key, cipher 2 a 16, 24 or 32-byte key";
        return;
    }
    // The decoder library's kernel tables serve motion compensation.
    static std::once_flag tables;
    std::call_once(tables, [] { ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps()); });
    if (c.loop_filter) {
        s.decoder = ZQ_SVAC_Dec_Open();
        if (!s.decoder || (c.cipher && ZQ_SVAC_Set_Key(s.decoder, c.key.data(), uint32_t(c.key.size())) != 0)) {
            s.error = "the decoder that makes the deblocked references did not open";
            return;
        }
    }
    s.shown_height = shown;
    s.src.allocate(16 * s.mbw, 16 * s.mbh);
    s.cur.allocate(16 * s.mbw, 16 * s.mbh);
    s.ref.allocate(16 * s.mbw, 16 * s.mbh);
    s.last_src.allocate(16 * s.mbw, 16 * s.mbh);
    s.info.assign(size_t(s.mbw) * s.mbh, MbInfo());
    s.still.assign(size_t(s.mbw) * s.mbh, 0);
    s.configured = true;
}

Encoder::~Encoder() = default;

bool Encoder::ok() const { return s_->configured; }
const std::string &Encoder::error() const { return s_->error; }
const Yuv &Encoder::reconstruction() const { return s_->recon; }
int Encoder::pictures() const { return s_->count; }

bool Encoder::encode(const Yuv &picture, Coded *out, bool force_key)
{
    State &s = *s_;
    if (!ok())
        return false;
    if (picture.width != s.cfg.width || picture.height != s.cfg.height ||
        picture.data.size() != size_t(picture.width) * picture.height * 3 / 2) {
        s.error = "picture size differs from the configured size";
        return false;
    }
    // Source into whole macroblocks, edges repeated.
    for (int p = 0; p < 3; ++p) {
        const int w = picture.stride(p), h = picture.rows(p);
        for (int y = 0; y < s.src.height(p); ++y) {
            const uint8_t *row = picture.plane(p) + size_t(std::min(y, h - 1)) * w;
            uint8_t *d = s.src.at(p, 0, y);
            std::memcpy(d, row, size_t(w));
            for (int x = w; x < s.src.stride(p); ++x)
                d[x] = row[w - 1];
        }
    }

    const bool key = force_key || !s.have_ref || s.since_key >= s.cfg.gop || s.cfg.gop == 1;
    if (key)
        s.since_key = 0;
    const int frame_num = s.since_key & 255;
    s.pic_qp = s.picture_qp(key);
    s.sad_lambda = std::max(1, int(std::lround(std::sqrt(s.rd_lambda()))));

    const Sps sps = s.sps();
    const Pps pps = s.pps();
    std::vector<NalUnit> units;
    if (key) {
        if (s.cfg.cipher) {
            SecParamSet sec;
            sec.encryption_flag = true;
            sec.encryption_type = s.cfg.cipher;
            units.push_back(sec_param_set_unit(sec));
        }
        units.push_back(sps_unit(sps));
        units.push_back(pps_unit(pps, sps));
    }

    SliceHeader sh;
    sh.pps_id = 0;
    sh.frame_num = uint32_t(frame_num);
    sh.idr_pic_id = uint32_t(s.idr_id & 0xFFFF);
    sh.first_mb_in_slice = 0;
    sh.slice_type = key ? kSliceI : kSliceP;
    sh.single_ref_flag = true;
    sh.fixed_slice_qp = true;
    sh.slice_qp_delta = s.pic_qp - int(pps.pic_init_qp);
    const uint32_t nal_type = key ? kNalIdrBase : kNalSliceBase;

    BitWriter w;
    write_slice_header(w, sh, sps, pps, nal_type);
    if (s.aec)
        w.align_zero();
    MbLayerParams intra_params;
    intra_params.type_offset = key ? 0 : 4;
    PLayerParams p_params;
    p_params.single_ref = true;
    AecPictureState aec_picture(s.aec ? uint32_t(s.mbw) : 0, s.aec ? uint32_t(s.mbh) : 0);
    AecSliceWriter aec(aec_picture, intra_params, key ? AecPictureKind::kI : AecPictureKind::kP, true);

    const int total = s.mbw * s.mbh;
    IntraModeMap modes(uint32_t(s.mbw), uint32_t(s.mbh));
    // An inter macroblock leaves mode 2 for the intra mode prediction of its neighbours.
    IntraMb inter_modes;
    inter_modes.kind = IntraKind::k4x4;
    std::fill(std::begin(inter_modes.luma_modes), std::end(inter_modes.luma_modes), 2);
    const int lam = s.lambda();
    int16_t levels[6][64], intra_levels[6][64];
    Coded coded;
    int run = 0;
    for (int addr = 0; addr < total; ++addr) {
        const int mx = addr % s.mbw, my = addr / s.mbw;
        MbInfo &mi = s.info[size_t(addr)];
        const bool L = mx > 0, T = my > 0;
        const int32_t avail = (L ? 1 : 0) | (T ? 2 : 0);
        auto put_intra = [&](const IntraMb &mb) {
            mi = MbInfo();
            mi.intra = true;
            mi.cbp = int(mb.cbp);
            s.still[size_t(addr)] = 0;
            ++(mb.kind == IntraKind::k4x4 ? coded.intra4x4 : coded.intra8x8);
            if (s.aec)
                return aec.intra(uint32_t(addr), avail, mb, modes);
            if (!key) {
                write_skip_run(w, uint32_t(run));
                run = 0;
            }
            return write_intra_mb(w, mb, intra_params, modes, uint32_t(mx), uint32_t(my), L, T);
        };
        if (key) {
            IntraMb mb;
            s.intra_mb(mx, my, modes, mb, levels);
            if (!put_intra(mb))
                break;
            continue;
        }

        // P macroblock: skipped when the predicted vector leaves nothing to code (or costs
        // least).
        const Mv pred = s.predict_mv(mx, my);
        State::Motion motion;
        motion.mv[0] = motion.pred[0] = pred;
        bool still = false;
        int cbp = 0;
        double inter_rd = 0;
        if (s.cfg.rd_modes) {
            inter_rd = s.decide_inter(mx, my, pred, &motion, &cbp, levels);
        } else {
            s.predict_inter(mx, my, pred);
            still = s.still[size_t(addr)] && s.pic_qp + 1 >= s.still[size_t(addr)] && pred == Mv{} &&
                    s.same_source(mx, my);
            cbp = still || s.unchanged(mx, my) ? 0 : s.inter_residual(mx, my, levels);
        }
        if (cbp && !s.cfg.rd_modes) {
            const Mv mv = s.search(mx, my, pred);
            motion = s.choose_shape(mx, my, mv, pred);
            if (motion.kind != PKind::k16x16) {
                s.predict_split(mx, my, motion);
                cbp = s.inter_residual(mx, my, levels);
            } else if (mv != pred) {
                s.predict_inter(mx, my, mv);
                cbp = s.inter_residual(mx, my, levels);
            }
        }
        const Mv mv = motion.mv[0];
        const bool skip = motion.kind == PKind::k16x16 && mv == pred && cbp == 0;
        // Intra where its prediction costs less; a coded intra type takes a few more bits, and
        // its modes at least one each. By cost (rd_modes): intra where its error plus weighted
        // bits (at least 9) is less.
        const int inter_cost =
            skip || !s.cfg.intra_in_p || s.cfg.rd_modes ? 0 : s.prediction_sad(mx, my) + lam * (motion.bits() + 1);
        if (inter_cost > 9 * lam || (s.cfg.rd_modes && s.cfg.intra_in_p && inter_rd > 9 * s.rd_lambda())) {
            State::MbSamples inter_pred;
            s.save_mb(mx, my, &inter_pred);
            IntraMb mb;
            const int intra_cost = s.intra_mb(mx, my, modes, mb, intra_levels) + 4 * lam;
            if (s.cfg.rd_modes ? s.intra_rd_cost(mx, my, mb) < inter_rd : intra_cost < inter_cost) {
                if (!put_intra(mb))
                    break;
                continue;
            }
            s.restore_mb(mx, my, inter_pred);
        }
        modes.store(uint32_t(mx), uint32_t(my), inter_modes);
        mi = MbInfo();
        for (int b = 0; b < 4; ++b)
            mi.mv[b] = motion.mv[motion.part_of(b)];
        if (!still)
            s.still[size_t(addr)] = skip && mv == Mv{} ? uint8_t(s.pic_qp + 1) : 0;
        if (skip) {
            ++coded.skipped;
            ++run;
            if (s.aec)
                aec.skip(uint32_t(addr), avail);
            continue;
        }
        s.apply_residual(mx, my, cbp, levels);
        mi.cbp = cbp;
        ++coded.inter;
        coded.partitioned += motion.kind != PKind::k16x16;
        coded.partitioned16x8 += motion.kind == PKind::k16x8;
        coded.partitioned8x8 += motion.kind == PKind::k8x8;
        bool fractional = false;
        for (int i = 0; i < motion.parts(); ++i)
            fractional |= ((motion.mv[i].x | motion.mv[i].y) & 3) != 0;
        coded.fractional += fractional;
        const PMb mb = State::p_syntax(motion, cbp, levels);
        if (s.aec) {
            if (!aec.p(uint32_t(addr), avail, mb))
                break;
            continue;
        }
        write_skip_run(w, uint32_t(run));
        run = 0;
        if (!write_p_mb(w, mb, p_params))
            break;
    }
    if (!s.aec && run > 0)
        write_skip_run(w, uint32_t(run));
    if (s.aec)
        aec.finish(w);
    // A picture that fails is not a reference: what its macroblocks noted goes too.
    auto fail = [&s](const std::string &message) {
        s.error = message;
        std::fill(s.still.begin(), s.still.end(), uint8_t(0));
        return false;
    };
    if (!w.ok())
        return fail("slice: " + w.error());
    NalUnit slice = finish_unit(nal_header(nal_type), w);
    if (s.cfg.cipher && !s.encryptor.encrypt(slice))
        return fail("slice encryption failed: " + slice.error);
    units.push_back(std::move(slice));

    if (!concat_units(units, &coded.stream))
        return fail("a unit could not be written");
    coded.key = key;
    coded.qp = s.pic_qp;
    if (s.decoder && !s.decode_into_cur(coded.stream)) {
        // The decoder's state is unknown: the next picture starts afresh.
        s.have_ref = false;
        return fail("the decoder refused the picture");
    }

    s.account(key, coded.stream.size());

    std::swap(s.cur, s.ref);
    std::swap(s.src, s.last_src);
    s.have_ref = true;
    if (key)
        ++s.idr_id;
    ++s.since_key;
    ++s.count;
    // What a decoder shows: the reference just made, cropped.
    if (s.recon.width != s.cfg.width || s.recon.height != s.shown_height)
        s.recon.allocate(s.cfg.width, s.shown_height);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < s.recon.rows(p); ++y)
            std::memcpy(s.recon.plane(p) + size_t(y) * s.recon.stride(p), s.ref.at(p, 0, y), size_t(s.recon.stride(p)));
    *out = std::move(coded);
    return true;
}

} // namespace svacenc
