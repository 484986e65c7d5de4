// Drives the built VanteryMCP with the official MCP TypeScript SDK client:
// handshake, tool listing with schemas, tool calls, ping and shutdown.
//   node client.test.mjs <path to VanteryMCP> [<path to vantery-bench>]
// With vantery-bench, the home is a generated one (gen) plus a few known lines.
// Exits 77 (skipped) when the SDK is not installed (npm ci in this folder).
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const binary = process.argv[2];
const bench = process.argv[3];
if (!binary || !existsSync(binary)) {
  console.error(`usage: node client.test.mjs <VanteryMCP>; not found: ${binary}`);
  process.exit(2);
}
if (!existsSync(join(here, "node_modules", "@modelcontextprotocol", "sdk"))) {
  console.log("SKIPPED: the MCP SDK is not installed; run `npm ci` in mcp-server/tests/sdk");
  process.exit(77);
}
const { Client } = await import("@modelcontextprotocol/sdk/client/index.js");
const { StdioClientTransport } = await import("@modelcontextprotocol/sdk/client/stdio.js");

// Known lines: two projects whose labels both contain "app", one sub-agent.
function usageLine({ id, session, cwd, agentId, input, when }) {
  const line = {
    type: "assistant",
    timestamp: when,
    requestId: `req_${id}`,
    sessionId: session,
    cwd,
    message: {
      id: `msg_${id}`,
      model: "claude-sonnet-4-5",
      usage: { input_tokens: input, output_tokens: 1000 },
    },
  };
  if (agentId) line.agentId = agentId;
  return JSON.stringify(line) + "\n";
}

function writeHome(home) {
  const now = new Date().toISOString();
  if (bench && existsSync(bench)) {
    execFileSync(bench, ["gen", "--out", home, "--mb", "1", "--seed", "7"], { stdio: "ignore" });
    assert.ok(existsSync(join(home, ".claude-work", "projects")), "gen wrote no home");
  }
  const dir = join(home, ".claude", "projects", "-vantery-sdk-app");
  mkdirSync(dir, { recursive: true });
  writeFileSync(
    join(dir, "sess-1.jsonl"),
    usageLine({ id: "1", session: "sess-1", cwd: "/vantery-sdk/app", input: 2_000_000, when: now }) +
      usageLine({
        id: "2",
        session: "sess-1",
        cwd: "/vantery-sdk/app",
        agentId: "areviewer-0123456789abcdef",
        input: 1_000_000,
        when: now,
      }),
  );
  writeFileSync(
    join(dir, "sess-2.jsonl"),
    usageLine({ id: "3", session: "sess-2", cwd: "/vantery-sdk/app-web", input: 4_000_000, when: now }),
  );
}

// Each call answers one text item, flagged as an error or not as given, matching
// the pattern: calls are [tool, arguments, isError, pattern].
async function expectAnswers(client, calls) {
  for (const [name, args, isError, pattern] of calls) {
    const r = await client.callTool({ name, arguments: args });
    const label = `${name} ${JSON.stringify(args)}`;
    assert.equal(r.content.length, 1, label);
    assert.equal(r.content[0].type, "text", label);
    assert.equal(r.isError, isError, `${label}: ${r.content[0].text}`);
    assert.match(r.content[0].text, pattern, `${label}: ${r.content[0].text}`);
  }
}

const home = mkdtempSync(join(tmpdir(), "vantery-sdk-"));
let stderr = "";
let failed = false;
try {
  writeHome(home);
  const transport = new StdioClientTransport({
    command: binary,
    args: [],
    env: {
      PATH: process.env.PATH ?? "/usr/bin:/bin",
      HOME: home,
      VANTERY_HOME: home,
      VANTERY_CACHE_PATH: join(home, "cache", "scan-cache.bin"),
      TZ: process.env.TZ ?? "UTC",
    },
    stderr: "pipe",
  });
  transport.stderr?.on("data", (chunk) => (stderr += chunk.toString()));
  const client = new Client({ name: "vantery-sdk-test", version: "1.0.0" }, { capabilities: {} });

  // Handshake: the SDK sends initialize and notifications/initialized.
  await client.connect(transport);
  assert.deepEqual(client.getServerVersion(), { name: "vantery", version: "0.5.3" });
  assert.deepEqual(client.getServerCapabilities(), { tools: {} });
  assert.match(client.getInstructions() ?? "", /^Vantery measures what Claude Code usage cost/);

  // The nine tools, in order, with exactly the schemas of the hand-typed fixture.
  const fixture = JSON.parse(
    readFileSync(join(here, "..", "..", "..", "testdata", "mcp", "tools-list.json"), "utf8"),
  );
  const { tools } = await client.listTools();
  assert.deepEqual(
    tools.map((t) => t.name),
    [
      "vant_overview",
      "vant_cost",
      "vant_top_agents",
      "vant_top_projects",
      "vant_by_model",
      "vant_session",
      "vant_agent",
      "vant_provenance",
      "vant_sources",
    ],
  );
  tools.forEach((tool, i) => {
    const want = fixture.tools[i];
    assert.equal(tool.description, want.description, tool.name);
    assert.deepEqual(tool.inputSchema, want.inputSchema, tool.name);
    assert.deepEqual(Object.keys(tool.inputSchema.properties), Object.keys(want.inputSchema.properties));
  });

  // --- vant_overview, vant_cost, vant_top_agents, vant_top_projects, vant_by_model ---
  // Each answers text as a result, never a protocol error; the flag is set only
  // for a bad period, a `by` axis that does not apply, or a filter that resolves
  // to nothing or to several candidates.
  const rule = "\u2500{62}";
  // Today in the server's zone (a call with from = to finds the hour axis whatever
  // the data of that day).
  const serverDay = new Intl.DateTimeFormat("en-CA", { timeZone: process.env.TZ ?? "UTC" }).format(new Date());
  const rankingCalls = [
    ["vant_overview", {}, false, new RegExp(`^Vantery \u2014 status at \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\\n${rule}\\nTODAY \\(\\d{4}-\\d\\d-\\d\\d\\)\\n  cost                 `)],
    ["vant_overview", { top: "3" }, false, /\nTOP 5 AGENTS TODAY\n[^]*\nTOP 5 PROJECTS TODAY\n[^]*\nNext: vant_top_agents \u00b7 vant_provenance \u00b7 vant_sources\n$/],
    ["vant_overview", { top: 0 }, false, /\nTOP 1 AGENTS TODAY\n  \S[^\n]*\n\nTOP 1 PROJECTS TODAY\n/],
    ["vant_cost", { period: "all", by: "agent" }, false, new RegExp(`^Cost \u2014 all history\\n${rule}\\n  TOTAL  [^]*\\nBREAKDOWN BY AGENT\\n`)],
    ["vant_cost", { project: "/vantery-sdk/app-web", from: serverDay, to: serverDay, by: "Hour" }, false, new RegExp(`^Cost \u2014 ${serverDay} \u2192 ${serverDay}\\nfilters: project = /vantery-sdk/app-web\\n${rule}\\n  TOTAL  [^]*\\nBREAKDOWN BY HOUR\\n`)],
    ["vant_cost", { period: "7d", by: "hour" }, true, /^`by: "hour"` only makes sense on a single day \u2014 give `period: "today"`, `"yesterday"` or `from`=`to`\.$/],
    ["vant_cost", { by: "week" }, true, /^unknown axis \u201cweek\u201d \u2014 accepted: day, hour, agent, project, model, session$/],
    ["vant_cost", { agent: "zz-nobody" }, true, /^No agent matches \u201czz-nobody\u201d\. /],
    ["vant_cost", { session_id: "sess-" }, true, /^The prefix \u201csess-\u201d matches 2 sessions:\n  sess-2 \u2014 \$12\.02\n  sess-1 \u2014 \$9\.03$/],
    ["vant_top_agents", { period: "all", project: "/vantery-sdk/app", subagents_only: true }, false, new RegExp(`^Top agents by cost \u2014 all history\\nfilters: project = /vantery-sdk/app\\nmain session: excluded\\n${rule}\\n 1\\. reviewer  \\[areviewer-0123456789abcdef\\]\\n    cost      \\$3\\.02\\n[^]*\\nOF WHICH\\n  main session \\$6\\.02 \\(66\\.6%\\) \u00b7 sub-agents \\$3\\.02 \\(33\\.4%\\)\\n  distinct agents 2 \\(shown 1\\)\\n`)],
    ["vant_top_agents", { limit: "2" }, false, new RegExp(`^Top agents by cost \u2014 today \\(`)],
    ["vant_top_agents", { project: "zz-nowhere" }, true, /^No project matches \u201czz-nowhere\u201d\. /],
    ["vant_top_projects", { period: "all", agent: "areviewer-0123456789abcdef", agents_per_project: 1 }, false, new RegExp(`^Top projects by cost \u2014 all history\\nfilters: agent = reviewer  \\[areviewer-0123456789abcdef\\]\\n${rule}\\n 1\\. /vantery-sdk/app\\n    cost   \\$3\\.02  \u00b7  1 request  \u00b7  1\\.00M tokens\\n    how the label was decided: rawFallback\\n      \u00b7 reviewer {21}\\$3\\.02 \u00b7 1 request\\n\\n`)],
    ["vant_top_projects", { period: "fortnight" }, true, /^unknown period \u201cfortnight\u201d/],
    ["vant_by_model", { period: "all", project: "/vantery-sdk/app-web" }, false, new RegExp(`^Breakdown by model \u2014 all history\\nfilters: project = /vantery-sdk/app-web\\n${rule}\\n  TOTAL \\$12\\.02\\n\\nclaude-sonnet-4-5\\n    cost   \\$12\\.02  \\(100\\.0% of the total\\)\\n`)],
    ["vant_by_model", { session_id: "zz" }, true, /^No session starts with \u201czz\u201d\.$/],
  ];
  await expectAnswers(client, rankingCalls);

  // A call that reaches the data: an ambiguous project fragment lists both
  // projects, dearest first, as an error answer (not a protocol error).
  const ambiguous = await client.callTool({
    name: "vant_cost",
    arguments: { period: "all", project: "Vantery-SDK/APP" },
  });
  assert.equal(ambiguous.isError, true);
  assert.equal(ambiguous.content.length, 1);
  assert.equal(ambiguous.content[0].type, "text");
  assert.equal(
    ambiguous.content[0].text,
    "\u201cVantery-SDK/APP\u201d matches 2 projects:\n  /vantery-sdk/app-web \u2014 $12.02\n  /vantery-sdk/app \u2014 $9.03",
  );

  const refused = await client.callTool({ name: "vant_cost", arguments: { period: "fortnight" } });
  assert.equal(refused.isError, true);
  assert.match(refused.content[0].text, /^unknown period \u201cfortnight\u201d \u2014 accepted: /);

  const unknown = await client.callTool({ name: "vant_nothing", arguments: {} });
  assert.deepEqual(unknown, {
    content: [{ type: "text", text: "Unknown verb: vant_nothing" }],
    isError: true,
  });

  // --- vant_session, vant_agent, vant_provenance, vant_sources ---------------
  // Each answers text as a result, never a protocol error; the flag is set only
  // for a missing subject, a bad period or a filter that resolves to nothing.
  const threadCalls = [
    ["vant_session", { session_id: "sess-1" }, false, /^Session sess-1 \u2014 all history\n\u2500{62}\n  project   \/vantery-sdk\/app\n/],
    ["vant_session", { session_id: "sess-" }, false, /^The prefix \u201csess-\u201d matches 2 sessions \u2014 pick one:\n  sess-/],
    ["vant_session", { session_id: "zz-none" }, false, /^No session starts with \u201czz-none\u201d\. /],
    ["vant_session", {}, true, /^`session_id` is missing\.$/],
    ["vant_session", { session_id: "sess-1", period: "week" }, true, /^unknown period /],
    ["vant_agent", { agent: "areviewer-0123456789abcdef", period: "today" }, false, /^Agent reviewer  \[areviewer-0123456789abcdef\] \u2014 today \(/],
    ["vant_agent", { agent: "main" }, false, /^Agent main session \(no agentId\) \u2014 all history\n/],
    ["vant_agent", { agent: "zz-nobody" }, false, /^No agent matches \u201czz-nobody\u201d\. /],
    ["vant_agent", { agent: "" }, true, /^`agent` is missing\.$/],
    ["vant_provenance", { period: "all", project: "/vantery-sdk/app-web" }, false, /^Provenance \u2014 all history\nfilters: project = \/vantery-sdk\/app-web\n[^]*SOURCE FILES \(1 file produced the figure\)\n  ~\/\.claude\/projects\/-vantery-sdk-app\/sess-2\.jsonl\n/],
    ["vant_provenance", { period: "all", limit: 3 }, false, /\n  \(\d+ files more \u2014 raise `limit`\)\n/],
    ["vant_provenance", { period: "0d", agent: "zz-nobody" }, true, /^unknown period \u201c0d\u201d/],
    ["vant_provenance", { agent: "zz-nobody" }, true, /^No agent matches \u201czz-nobody\u201d\. /],
    ["vant_sources", { anything: 1 }, false, /^Sources and the health of the measurement \u2014 \d{4}-\d\d-\d\d \d\d:\d\d\n[^]*\n  \.claude-yahoo {6}/],
  ];
  await expectAnswers(client, threadCalls);

  // Every listed tool answers text, whatever its state.
  for (const tool of tools) {
    const r = await client.callTool({ name: tool.name, arguments: {} });
    assert.equal(r.content[0].type, "text", tool.name);
    assert.ok(r.content[0].text.length > 0, tool.name);
    assert.equal(typeof r.isError, "boolean", tool.name);
  }

  await client.ping();
  await client.close();
  // Give the server a moment to write its closing line.
  for (let i = 0; i < 50 && !stderr.includes("stdin closed; exiting"); i++)
    await new Promise((r) => setTimeout(r, 20));
  assert.match(stderr, /^\[vantery-mcp\] started; cache = .*scan-cache\.bin; homes = \.claude, \.claude-work, \.claude-outlook, \.claude-yahoo\n/);
  assert.match(stderr, /\[vantery-mcp\] stdin closed; exiting\n$/);
  console.log("ok: handshake, 9 tools with their schemas, tool calls, ping, shutdown");
} catch (e) {
  failed = true;
  console.error(e);
  if (stderr) console.error("server log:\n" + stderr);
} finally {
  rmSync(home, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
