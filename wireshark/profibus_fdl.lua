-- PROFIBUS FDL telegrams as the capture module records them: a Wireshark dissector for the
-- pcapng files of fdc2pcapng (link type USER0: the record's status byte, then the frame bytes).
--
-- It decodes exactly what fdcdump decodes: the same kind and length checks, the same marks for a
-- malformed frame, the same function-code names. Install it by copying this file to
-- ~/.local/lib/wireshark/plugins/, or load it once:
--   tshark -X lua_script:wireshark/profibus_fdl.lua -r file.pcapng
-- Files of link type 257 (frame bytes alone) decode with the preference fdl.link_type_257 set:
--   tshark -X lua_script:wireshark/profibus_fdl.lua -o fdl.link_type_257:TRUE -r file.pcapng
-- Link type USER0 is claimed through the preference fdl.claim_user0 (on); turn it off to open
-- another tool's USER0 captures.

local fdl = Proto("FDL", "PROFIBUS FDL")

local SD1, SD2, SD3, SD4, SC, ED = 0x10, 0x68, 0xA2, 0xDC, 0xE5, 0x16

local kind_names = {[SD1] = "SD1", [SD2] = "SD2", [SD3] = "SD3", [SD4] = "SD4", [SC] = "SC"}

-- The dump's names of the function codes. A code without a name shows as "Typ?(%02x)" with the
-- whole FC byte.
local request_names = {
  [0x00] = "MTM1", [0x01] = "MSRD", [0x02] = "MSDN", [0x03] = "SDAL", [0x04] = "SDNL",
  [0x05] = "SDAH", [0x06] = "SDNH", [0x07] = "RDD", [0x08] = "GSRD", [0x09] = "RFDL",
  [0x0A] = "MDLY", [0x0B] = "MKEP", [0x0C] = "SRDL", [0x0D] = "SRDH", [0x0E] = "RIR",
  [0x0F] = "RLSR", [0x80] = "MTM2",
}
local response_names = {
  [0x0] = "OK", [0x1] = "UE", [0x2] = "RR", [0x3] = "RS", [0x8] = "DL", [0x9] = "NR",
  [0xA] = "DH", [0xC] = "RDL", [0xD] = "RDH",
}
local station_types = {[0] = "slave", [1] = "master-not-ready", [2] = "master-ready",
                       [3] = "master-in-ring"}

-- PROFIBUS DP services by the SAP of the slave: the DSAP of a request, the SSAP of its response
-- (a response goes back to the master's SAP, which names no service).
local dp_services = {
  [55] = "Set_Slave_Add", [56] = "Rd_Inp", [57] = "Rd_Outp", [58] = "Global_Control",
  [59] = "Get_Cfg", [60] = "Slave_Diag", [61] = "Set_Prm", [62] = "Chk_Cfg",
}

-- The status byte's flags, bit 0 first: the letters the dump shows for them, their ShowOnly names
-- and what they say (the engine's words; a test holds this table to the engine's).
local status_bits = {
  {"s", "STSSTP", "stop bit"}, {"p", "STSPAR", "parity"}, {"d", "STSSD", "start delimiter"},
  {"r", "STSRPT", "repeat"}, {"u", "STSUND", "underrun"}, {"o", "STSOVR", "overrun"},
  {"c", "STSCHK", "check"}, {"e", "STSED", "end delimiter"},
}

-- The standard's names of the function codes (FC AND 0x0F), beside the dump's mnemonics.
local standard_requests = {
  [0x0] = "TE", [0x3] = "SDA_low", [0x4] = "SDN_low", [0x5] = "SDA_high", [0x6] = "SDN_high",
  [0x7] = "MSRD", [0x9] = "Request FDL Status", [0xC] = "SRD_low", [0xD] = "SRD_high",
  [0xE] = "Request Ident", [0xF] = "Request LSAP Status",
}
local standard_responses = {
  [0x0] = "OK", [0x1] = "UE", [0x2] = "RR", [0x3] = "RS", [0x8] = "DL", [0x9] = "NR",
  [0xA] = "DH", [0xC] = "RDL", [0xD] = "RDH",
}
-- Wireshark's checksum status values.
local checksum_status = {[0] = "Bad", [1] = "Good"}

local f = {
  status = ProtoField.uint8("fdl.status", "Status", base.HEX),
  sd = ProtoField.uint8("fdl.sd", "Start delimiter", base.HEX, kind_names),
  le = ProtoField.uint8("fdl.le", "Length (LE)", base.DEC),
  ler = ProtoField.uint8("fdl.ler", "Length repeated (LEr)", base.DEC),
  sd_repeat = ProtoField.uint8("fdl.sd_repeat", "Start delimiter repeated", base.HEX),
  da = ProtoField.uint8("fdl.da", "Destination address", base.DEC, nil, 0x7F),
  da_ext = ProtoField.bool("fdl.da_ext", "DSAP follows", 8, nil, 0x80),
  sa = ProtoField.uint8("fdl.sa", "Source address", base.DEC, nil, 0x7F),
  sa_ext = ProtoField.bool("fdl.sa_ext", "SSAP follows", 8, nil, 0x80),
  fc = ProtoField.uint8("fdl.fc", "Function code", base.HEX),
  fc_request = ProtoField.bool("fdl.fc.request", "Request", 8, nil, 0x40),
  fc_fcb = ProtoField.bool("fdl.fc.fcb", "Frame count bit (FCB)", 8, nil, 0x20),
  fc_fcv = ProtoField.bool("fdl.fc.fcv", "Frame count valid (FCV)", 8, nil, 0x10),
  fc_function = ProtoField.string("fdl.fc.function", "Function"),
  fc_station_type = ProtoField.string("fdl.fc.station_type", "Station type"),
  dsap = ProtoField.uint8("fdl.dsap", "DSAP", base.DEC),
  ssap = ProtoField.uint8("fdl.ssap", "SSAP", base.DEC),
  dp_service = ProtoField.string("fdl.dp_service", "DP service"),
  data = ProtoField.bytes("fdl.data", "Data", base.SPACE),
  fcs = ProtoField.uint8("fdl.fcs", "Frame check sequence (FCS)", base.HEX),
  fcs_status = ProtoField.string("fdl.fcs.status", "FCS status"),
  fcs_check = ProtoField.uint8("fdl.fcs.check", "FCS check", base.DEC, checksum_status),
  addr = ProtoField.uint8("fdl.addr", "Source or destination address", base.DEC),
  data_len = ProtoField.uint8("fdl.data.len", "Data length", base.DEC),
  fc_code = ProtoField.uint8("fdl.fc.code", "Function code number", base.HEX, nil, 0x0F),
  fc_station_type_code = ProtoField.uint8("fdl.fc.station_type_code", "Station type code",
                                          base.DEC, station_types, 0x30),
  fc_standard_name = ProtoField.string("fdl.fc.standard_name", "Standard name"),
  ed = ProtoField.uint8("fdl.ed", "End delimiter", base.HEX),
  raw = ProtoField.bytes("fdl.raw", "Frame bytes", base.SPACE),
  -- The marks of the dump line, as it prints them: length and kind marks, a wrong ED.
  mark = ProtoField.string("fdl.mark", "Dump mark"),
}
local status_masks = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}
for i, bit in ipairs(status_bits) do
  f["status_" .. bit[1]] = ProtoField.bool("fdl.status." .. bit[1], bit[2] .. " (" .. bit[1] .. ")",
                                           8, nil, status_masks[i])
end

local fields = {}
for _, field in pairs(f) do fields[#fields + 1] = field end
fdl.fields = fields

local ex = {
  malformed = ProtoExpert.new("fdl.malformed", "Malformed FDL frame", expert.group.MALFORMED,
                              expert.severity.ERROR),
  fcs_bad = ProtoExpert.new("fdl.fcs.bad", "Bad FCS", expert.group.CHECKSUM,
                            expert.severity.WARN),
  ed_bad = ProtoExpert.new("fdl.ed.bad", "Bad end delimiter", expert.group.MALFORMED,
                           expert.severity.WARN),
  no_status = ProtoExpert.new("fdl.no_status", "Packet without status byte",
                              expert.group.MALFORMED, expert.severity.ERROR),
  status_bits = ProtoExpert.new("fdl.status.error", "Status bits set by the capture module",
                                expert.group.PROTOCOL, expert.severity.WARN),
}
fdl.experts = {ex.malformed, ex.fcs_bad, ex.ed_bad, ex.no_status, ex.status_bits}

fdl.prefs.claim_user0 = Pref.bool(
    "Decode USER0 (147) as FDL", true,
    "Our exports use link type USER0; turn this off to open another tool's USER0 captures")

fdl.prefs.link_type_257 = Pref.bool(
    "Decode unknown link types as FDL frames", false,
    "This Wireshark does not know link type 257 (PROFIBUS, frame bytes without status byte) " ..
    "and shows its packets as UNKNOWN; when set, every packet of an unknown link type is " ..
    "decoded as an FDL frame")

-- Bit arithmetic that works on every Lua version Wireshark has shipped (no bit32 in 5.4).
local function has(value, mask) return math.floor(value / mask) % 2 == 1 end
local function hex2(value) return string.format("%02x", value) end

local function function_name(fc)
  local name
  if has(fc, 0x40) then
    name = request_names[fc % 16 + (has(fc, 0x80) and 0x80 or 0)]
  else
    name = response_names[fc % 16]
  end
  return name or ("Typ?(" .. hex2(fc) .. ")")
end

local function standard_name(fc)
  local code = fc % 16
  if not has(fc, 0x40) then return standard_responses[code] or "reserved" end
  if code == 0 and has(fc, 0x80) then return "CV" end
  return standard_requests[code] or "reserved"
end

local function hex_bytes(frame, from, count)
  local parts = {}
  for i = from, from + count - 1 do parts[#parts + 1] = hex2(frame[i]) end
  return table.concat(parts, " ")
end

-- The packet bytes that hold frame bytes [from, from + count): USER0 packets start with the status.
local function range(ctx, from, count) return ctx.tvb(ctx.offset + from, count) end

local function add_mark(tree, expert_field, mark)
  tree:add(f.mark, mark):set_generated()
  tree:add_proto_expert_info(expert_field, mark)
end

local function mark_malformed(ctx, mark)
  add_mark(ctx.tree, ex.malformed, mark)
  ctx.info[#ctx.info + 1] = mark
end

-- The dump's mark for a frame of a known kind that fails its length checks, or nil.
local function length_mark(kind, frame, len)
  if kind == SD1 then return len ~= 6 and ("Len(" .. len .. ")?") or nil end
  if kind == SD2 then
    if len < 9 then return "SD2 Len(" .. len .. ")?" end
    if frame[1] ~= len - 6 then return "SD2 LE?(" .. len .. ")" end
    if frame[2] ~= frame[1] then return "SD2 LEr?" end
    if frame[3] ~= SD2 then return "SD2r?" end
    return nil
  end
  if kind == SD3 then return len ~= 14 and ("SD3 Len(" .. len .. ")?") or nil end
  if kind == SD4 then return len ~= 3 and ("Len(" .. len .. ")?") or nil end
  if kind == SC then return len ~= 1 and ("Len(" .. len .. ")?") or nil end
  return "SD?" .. hex2(kind)
end

local function add_addresses(ctx, frame, at)
  local tree = ctx.tree
  local da_item = tree:add(f.da, range(ctx, at, 1))
  da_item:add(f.da_ext, range(ctx, at, 1))
  local sa_item = tree:add(f.sa, range(ctx, at + 1, 1))
  sa_item:add(f.sa_ext, range(ctx, at + 1, 1))
  local da, sa = frame[at] % 128, frame[at + 1] % 128
  -- Either address, as eth.addr filters either end.
  tree:add(f.addr, range(ctx, at, 1), da):set_hidden()
  tree:add(f.addr, range(ctx, at + 1, 1), sa):set_hidden()
  ctx.src, ctx.dst = tostring(sa), tostring(da)
  ctx.info[#ctx.info + 1] = da .. "<" .. sa
end

local function add_function_code(ctx, fc, at)
  local item = ctx.tree:add(f.fc, range(ctx, at, 1))
  local name = function_name(fc)
  item:add(f.fc_request, range(ctx, at, 1))
  if has(fc, 0x40) then
    item:add(f.fc_fcb, range(ctx, at, 1))
    item:add(f.fc_fcv, range(ctx, at, 1))
  else
    item:add(f.fc_station_type, range(ctx, at, 1), station_types[math.floor(fc / 16) % 4])
    item:add(f.fc_station_type_code, range(ctx, at, 1))
  end
  item:add(f.fc_function, range(ctx, at, 1), name)
  item:add(f.fc_code, range(ctx, at, 1))
  item:add(f.fc_standard_name, range(ctx, at, 1), standard_name(fc)):set_generated()
  item:append_text(" (" .. name .. ")")
  ctx.info[#ctx.info + 1] = name
end

-- The body of an SD1, SD2 or SD3 frame, from DA (frame byte `at`) to ED, `length` bytes.
local function add_body(ctx, frame, at, length)
  local da, sa, fc = frame[at], frame[at + 1], frame[at + 2]
  add_addresses(ctx, frame, at)
  add_function_code(ctx, fc, at + 2)

  -- A SAP byte is taken only where the data unit still holds one, as the dump takes it.
  local count, pos = length - 5, at + 3
  -- The data unit, from the SAPs to the last data byte, as a subtree of its own.
  local unit = ctx.tree
  if count > 0 then unit = ctx.tree:add(range(ctx, pos, count), "Data unit") end
  local dsap, ssap, dsap_at, ssap_at
  if has(da, 0x80) and count > 0 then
    dsap, dsap_at = frame[pos], pos
    unit:add(f.dsap, range(ctx, pos, 1))
    pos, count = pos + 1, count - 1
  end
  if has(sa, 0x80) and count > 0 then
    ssap, ssap_at = frame[pos], pos
    unit:add(f.ssap, range(ctx, pos, 1))
    pos, count = pos + 1, count - 1
  end
  if dsap or ssap then
    ctx.info[#ctx.info + 1] = (dsap or "") .. "{" .. (ssap or "")
  end
  local service_sap, service_at = ssap, ssap_at
  if has(fc, 0x40) then service_sap, service_at = dsap, dsap_at end
  local service = service_sap and dp_services[service_sap]
  if service then
    ctx.tree:add(f.dp_service, range(ctx, service_at, 1), service):set_generated()
    ctx.info[#ctx.info + 1] = service
  end
  if count > 0 then
    unit:add(f.data, range(ctx, pos, count))
    ctx.info[#ctx.info + 1] = hex_bytes(frame, pos, count)
  end
  unit:add(f.data_len, count):set_generated()

  local sum = 0
  for i = at, pos + count - 1 do sum = sum + frame[i] end
  local computed, carried = sum % 256, frame[pos + count]
  local fcs_item = ctx.tree:add(f.fcs, range(ctx, pos + count, 1))
  fcs_item:add(f.fcs_status, range(ctx, pos + count, 1), computed == carried and "good" or "bad")
      :set_generated()
  fcs_item:add(f.fcs_check, range(ctx, pos + count, 1), computed == carried and 1 or 0)
      :set_generated()
  if computed ~= carried then
    fcs_item:add_proto_expert_info(ex.fcs_bad,
                                   "FCS?(" .. hex2(carried) .. ") computed " .. hex2(computed))
    ctx.info[#ctx.info + 1] = "FCS?(" .. hex2(carried) .. ")"
  end

  local ed = frame[pos + count + 1]
  local ed_item = ctx.tree:add(f.ed, range(ctx, pos + count + 1, 1))
  if ed == ED then
    ctx.info[#ctx.info + 1] = "ED"
  else
    add_mark(ed_item, ex.ed_bad, "ED?(" .. hex2(ed) .. ")")
    ctx.info[#ctx.info + 1] = "ED?(" .. hex2(ed) .. ")"
  end
end

local function add_status(ctx, status_tvb)
  local status = status_tvb:uint()
  local item = ctx.tree:add(f.status, status_tvb)
  local letters, set = {}, {}
  for i, bit in ipairs(status_bits) do
    item:add(f["status_" .. bit[1]], status_tvb)
    letters[i] = has(status, status_masks[i]) and bit[1] or "."
    if has(status, status_masks[i]) then set[#set + 1] = bit[1] .. " (" .. bit[3] .. ")" end
  end
  item:append_text(" (" .. table.concat(letters) .. ")")
  if #set > 0 then
    item:add_proto_expert_info(ex.status_bits, "Status bits: " .. table.concat(set, ", "))
  end
  return status
end

-- Decodes the frame bytes that start at packet offset `offset`; `status` is the record's status
-- byte, or nil when the packet carries none.
local function dissect_frame(ctx, status)
  local tvb, offset = ctx.tvb, ctx.offset
  local len = tvb:len() - offset
  local frame = {}
  local raw = tvb:raw(offset, len)
  for i = 0, len - 1 do frame[i] = raw:byte(i + 1) end

  -- An empty frame: as in the dump, the status byte stands at position 0 and picks the kind,
  -- whose length check then fails with nothing to show.
  local kind = len > 0 and frame[0] or status
  if len == 0 then
    add_mark(ctx.tree, ex.malformed, "FrmLen?(0)")
    if not status then
      ctx.info[1] = "FrmLen?(0)"
      return
    end
    frame[0] = status
  else
    -- The header: the start delimiter, and LE, LEr and the second SD of an SD2 frame.
    local header = ctx.tree:add(range(ctx, 0, kind == SD2 and math.min(len, 4) or 1), "Header")
    header:add(f.sd, range(ctx, 0, 1))
    if kind == SD2 then
      if len >= 2 then header:add(f.le, range(ctx, 1, 1)) end
      if len >= 3 then header:add(f.ler, range(ctx, 2, 1)) end
      if len >= 4 then header:add(f.sd_repeat, range(ctx, 3, 1)) end
    end
  end

  if kind_names[kind] then ctx.info[#ctx.info + 1] = kind_names[kind] end
  if kind == SC then ctx.info[#ctx.info + 1] = "SHAK" end

  local mark = length_mark(kind, frame, len)
  if mark then
    mark_malformed(ctx, mark)
    if len > 0 then
      ctx.tree:add(f.raw, range(ctx, 0, len))
      ctx.info[#ctx.info + 1] = hex_bytes(frame, 0, len)
    else
      ctx.info[1] = "FrmLen?(0)" .. ctx.info[1]
    end
    return
  end

  if kind == SD1 then
    add_body(ctx, frame, 1, 5)
  elseif kind == SD2 then
    add_body(ctx, frame, 4, len - 4)
  elseif kind == SD3 then
    add_body(ctx, frame, 1, 13)
  elseif kind == SD4 then
    add_addresses(ctx, frame, 1)
  end
end

function fdl.dissector(tvb, pinfo, root)
  pinfo.cols.protocol = "FDL"
  local tree = root:add(fdl, tvb())
  local ctx = {tvb = tvb, tree = tree, info = {}, offset = 0}

  -- USER0 packets carry the status byte first; the frame-only link type does not.
  local status
  if pinfo.match_uint == wtap_encaps.USER0 then
    if tvb:len() == 0 then
      tree:add_proto_expert_info(ex.no_status)
      pinfo.cols.info = "No status byte"
      return 0
    end
    status = add_status(ctx, tvb(0, 1))
    ctx.offset = 1
  end
  dissect_frame(ctx, status)
  -- The addresses in the Source and Destination columns (a short acknowledgement has none).
  if ctx.src then
    pinfo.cols.src = ctx.src
    pinfo.cols.dst = ctx.dst
  end

  local info = table.concat(ctx.info, " ")
  pinfo.cols.info = info
  tree:append_text(", " .. info)
  return tvb:len()
end

local wtap_encap_table = DissectorTable.get("wtap_encap")
wtap_encap_table:add(wtap_encaps.USER0, fdl)

function fdl.prefs_changed()
  if fdl.prefs.claim_user0 then
    wtap_encap_table:add(wtap_encaps.USER0, fdl)
  else
    wtap_encap_table:remove(wtap_encaps.USER0, fdl)
  end
  if fdl.prefs.link_type_257 then
    wtap_encap_table:add(wtap_encaps.UNKNOWN, fdl)
  else
    wtap_encap_table:remove(wtap_encaps.UNKNOWN, fdl)
  end
end
