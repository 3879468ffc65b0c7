#pragma once
// The entry points bound from each media library, in binding order.
//
// Plain lists, free of any library header, so that tools and tests can
// generate look-alike libraries from them. Each list takes two macros:
// F(name) for a required entry point and O(name) for an optional one (left
// empty when the library lacks it).

#define QSR_AVUTIL_ENTRIES(F, O) \
  F(avutil_version) F(av_version_info) \
  F(av_malloc) F(av_mallocz) F(av_realloc) F(av_free) F(av_freep) F(av_strdup) \
  F(av_strlcpy) F(av_strstart) F(av_dynarray_add) \
  F(av_log) F(av_vlog) F(av_log_default_callback) F(av_log_get_level) F(av_log_set_level) \
  F(av_log_set_callback) F(av_log_set_flags) F(av_default_item_name) \
  F(av_compare_ts) F(av_rescale) F(av_rescale_rnd) F(av_rescale_q) F(av_rescale_q_rnd) \
  F(av_gcd) F(av_reduce) F(av_d2q) F(av_find_nearest_q_idx) F(av_mul_q) F(av_div_q) \
  F(av_add_q) F(av_sub_q) F(av_q2intfloat) \
  F(av_gettime) F(av_gettime_relative) F(av_usleep) F(av_strerror) F(av_cpu_count) \
  F(av_get_pix_fmt) F(av_get_pix_fmt_name) F(av_pix_fmt_desc_get) F(av_pix_fmt_desc_next) \
  F(av_pix_fmt_desc_get_id) F(av_get_bits_per_pixel) F(av_get_pix_fmt_string) \
  F(av_get_sample_fmt) F(av_get_sample_fmt_name) F(av_get_sample_fmt_string) \
  F(av_get_bytes_per_sample) F(av_sample_fmt_is_planar) F(av_get_packed_sample_fmt) \
  F(av_get_planar_sample_fmt) F(av_samples_get_buffer_size) F(av_samples_alloc) \
  F(av_samples_copy) F(av_samples_set_silence) F(av_samples_fill_arrays) \
  F(av_image_copy) F(av_image_copy_plane) F(av_image_alloc) F(av_image_fill_arrays) \
  F(av_image_get_buffer_size) F(av_image_fill_linesizes) F(av_image_copy_to_buffer) \
  F(av_image_check_size) \
  F(av_parse_video_rate) F(av_parse_video_size) F(av_parse_time) F(av_parse_ratio) \
  F(av_dict_get) F(av_dict_set) F(av_dict_set_int) F(av_dict_copy) F(av_dict_free) \
  F(av_dict_count) F(av_dict_parse_string) \
  F(av_opt_find) F(av_opt_find2) F(av_opt_next) F(av_opt_set) F(av_opt_set_int) \
  F(av_opt_set_double) F(av_opt_set_q) F(av_opt_set_bin) F(av_opt_set_pixel_fmt) \
  F(av_opt_set_sample_fmt) F(av_opt_set_image_size) F(av_opt_set_video_rate) \
  F(av_opt_set_chlayout) F(av_opt_set_dict) F(av_opt_set_dict2) F(av_opt_get) \
  F(av_opt_get_int) F(av_opt_get_double) F(av_opt_get_q) F(av_opt_set_defaults) F(av_opt_copy) \
  F(av_opt_child_class_iterate) F(av_opt_child_next) F(av_opt_free) F(av_opt_show2) \
  F(av_int_list_length_for_size) \
  F(av_frame_alloc) F(av_frame_free) F(av_frame_ref) F(av_frame_unref) F(av_frame_clone) \
  F(av_frame_move_ref) F(av_frame_get_buffer) F(av_frame_make_writable) F(av_frame_copy) \
  F(av_frame_copy_props) \
  F(av_buffer_alloc) F(av_buffer_unref) F(av_buffer_ref) \
  F(av_audio_fifo_alloc) F(av_audio_fifo_free) F(av_audio_fifo_write) F(av_audio_fifo_read) \
  F(av_audio_fifo_size) F(av_audio_fifo_drain) F(av_audio_fifo_realloc) \
  F(av_fifo_alloc2) F(av_fifo_freep2) F(av_fifo_write) F(av_fifo_read) F(av_fifo_peek) \
  F(av_fifo_can_read) F(av_fifo_can_write) F(av_fifo_grow2) F(av_fifo_reset2) \
  F(av_channel_layout_default) F(av_channel_layout_uninit) F(av_channel_layout_copy) \
  F(av_channel_layout_compare) F(av_channel_layout_describe) F(av_channel_layout_from_mask) \
  F(av_channel_layout_from_string) F(av_channel_layout_check) \
  F(av_get_media_type_string) F(av_get_picture_type_char) F(av_get_time_base_q) \
  O(av_get_channel_layout_nb_channels) O(av_get_default_channel_layout)

#define QSR_SWRESAMPLE_ENTRIES(F, O) \
  F(swresample_version) F(swr_get_class) F(swr_alloc) F(swr_alloc_set_opts2) F(swr_init) \
  F(swr_is_initialized) F(swr_free) F(swr_close) F(swr_convert) F(swr_get_delay) \
  F(swr_set_compensation) F(swr_get_out_samples) F(swr_convert_frame) F(swr_config_frame) \
  F(swr_drop_output) F(swr_inject_silence) \
  O(swr_alloc_set_opts)

#define QSR_SWSCALE_ENTRIES(F, O) \
  F(swscale_version) F(sws_get_class) F(sws_getContext) F(sws_getCachedContext) \
  F(sws_freeContext) F(sws_scale) F(sws_alloc_context) F(sws_init_context) \
  F(sws_isSupportedInput) F(sws_isSupportedOutput) F(sws_getCoefficients) \
  F(sws_setColorspaceDetails)

#define QSR_AVCODEC_ENTRIES(F, O) \
  F(avcodec_version) F(avcodec_find_decoder) F(avcodec_find_decoder_by_name) \
  F(avcodec_find_encoder) F(avcodec_find_encoder_by_name) F(av_codec_iterate) \
  F(av_codec_is_encoder) F(av_codec_is_decoder) F(avcodec_get_class) \
  F(avcodec_alloc_context3) F(avcodec_free_context) F(avcodec_open2) F(avcodec_close) \
  F(avcodec_parameters_alloc) F(avcodec_parameters_free) F(avcodec_parameters_copy) \
  F(avcodec_parameters_from_context) F(avcodec_parameters_to_context) \
  F(avcodec_send_packet) F(avcodec_receive_frame) F(avcodec_send_frame) \
  F(avcodec_receive_packet) F(avcodec_flush_buffers) \
  F(avcodec_descriptor_get) F(avcodec_descriptor_get_by_name) F(avcodec_get_name) \
  F(avcodec_string) F(avcodec_align_dimensions2) F(avcodec_profile_name) \
  F(av_get_bits_per_sample) F(av_get_exact_bits_per_sample) F(av_get_audio_frame_duration2) \
  F(avcodec_decode_subtitle2) F(avcodec_encode_subtitle) F(avsubtitle_free) \
  F(av_packet_alloc) F(av_packet_free) F(av_packet_ref) F(av_packet_unref) \
  F(av_packet_clone) F(av_packet_move_ref) F(av_packet_copy_props) F(av_new_packet) \
  F(av_grow_packet) F(av_shrink_packet) F(av_packet_rescale_ts) \
  F(av_packet_get_side_data) F(av_packet_new_side_data) \
  F(av_bsf_get_by_name) F(av_bsf_iterate) F(av_bsf_alloc) F(av_bsf_init) \
  F(av_bsf_send_packet) F(av_bsf_receive_packet) F(av_bsf_flush) F(av_bsf_free) \
  F(av_bsf_get_class) \
  F(av_parser_init) F(av_parser_parse2) F(av_parser_close)

#define QSR_AVFORMAT_ENTRIES(F, O) \
  F(avformat_version) F(avformat_network_init) F(avformat_network_deinit) \
  F(av_demuxer_iterate) F(av_muxer_iterate) F(av_find_input_format) F(av_guess_format) \
  F(av_guess_codec) F(avformat_get_class) F(avformat_alloc_context) F(avformat_free_context) \
  F(avformat_alloc_output_context2) F(avformat_new_stream) F(avformat_open_input) \
  F(avformat_close_input) F(avformat_find_stream_info) F(av_find_best_stream) \
  F(av_read_frame) F(av_seek_frame) F(avformat_seek_file) F(av_read_play) F(av_read_pause) \
  F(avformat_write_header) F(avformat_init_output) F(av_interleaved_write_frame) \
  F(av_write_frame) F(av_write_trailer) F(av_dump_format) F(av_sdp_create) \
  F(av_filename_number_test) F(av_codec_get_id) F(av_codec_get_tag) \
  F(avformat_query_codec) F(avformat_match_stream_specifier) F(av_guess_frame_rate) \
  F(av_guess_sample_aspect_ratio) F(av_pkt_dump_log2) F(av_get_packet) \
  F(avio_open) F(avio_open2) F(avio_close) F(avio_closep) F(avio_alloc_context) \
  F(avio_context_free) F(avio_write) F(avio_flush) F(avio_seek) F(avio_size) F(avio_feof) \
  F(avio_read) F(avio_enum_protocols) F(avio_find_protocol_name) F(avio_check)

#define QSR_AVFILTER_ENTRIES(F, O) \
  F(avfilter_version) F(avfilter_get_by_name) F(av_filter_iterate) F(avfilter_get_class) \
  F(avfilter_graph_alloc) F(avfilter_graph_free) F(avfilter_graph_config) \
  F(avfilter_graph_create_filter) F(avfilter_graph_parse_ptr) F(avfilter_graph_parse2) \
  F(avfilter_graph_alloc_filter) F(avfilter_graph_dump) F(avfilter_graph_request_oldest) \
  F(avfilter_inout_alloc) F(avfilter_inout_free) F(avfilter_link) F(avfilter_init_str) \
  F(avfilter_init_dict) F(avfilter_free) F(avfilter_pad_get_name) F(avfilter_pad_get_type) \
  F(av_buffersrc_add_frame) F(av_buffersrc_add_frame_flags) F(av_buffersrc_write_frame) \
  F(av_buffersrc_parameters_alloc) F(av_buffersrc_parameters_set) F(av_buffersrc_close) \
  F(av_buffersink_get_frame) F(av_buffersink_get_frame_flags) F(av_buffersink_get_samples) \
  F(av_buffersink_set_frame_size) F(av_buffersink_get_w) F(av_buffersink_get_h) \
  F(av_buffersink_get_format) F(av_buffersink_get_time_base) \
  F(av_buffersink_get_frame_rate) F(av_buffersink_get_sample_aspect_ratio) \
  F(av_buffersink_get_sample_rate) F(av_buffersink_get_ch_layout) F(av_buffersink_get_type)

#define QSR_AVDEVICE_ENTRIES(F, O) \
  F(avdevice_version) F(avdevice_register_all)

// The C library of the system, bound like the media libraries.
#define QSR_LIBC_ENTRIES(F, O) \
  F(fclose) F(fopen) F(fprintf) F(fread) F(fseek) F(ftell) F(fwrite) F(snprintf) \
  F(strtod) F(strtok) F(strtol) F(vsprintf) F(vsnprintf)
