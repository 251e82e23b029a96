// An agent's session against `quillora --mcp` through the official MCP client, whose schemas
// validate every response. The store was seeded by the driver with the assistant "Recorded",
// its context "Globex" and three calls.
//   node agent-session.mjs <path of quillora>
import assert from "node:assert/strict";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const binary = process.argv[2];
assert.ok(binary, "usage: node agent-session.mjs <quillora binary>");

const transport = new StdioClientTransport({ command: binary, args: ["--mcp"], env: { ...process.env }, stderr: "inherit" });
const client = new Client({ name: "quillora-test-agent", version: "1.0.0" });
await client.connect(transport);

assert.deepEqual(client.getServerVersion(), { name: "quillora", version: "1.0" });
assert.deepEqual(client.getServerCapabilities(), { tools: {} });

const { tools } = await client.listTools();
assert.equal(tools.length, 19);
assert.deepEqual(tools.map((t) => t.name), [
  "list_assistants", "get_assistant", "create_assistant", "update_assistant", "list_contexts", "get_context",
  "create_context", "update_context", "add_file", "update_file", "remove_file", "archive", "restore", "list_calls",
  "get_call", "set_call_outcome", "add_qa", "update_qa", "search_calls",
]);

// Calls a tool and returns its result value (the JSON inside the text), or throws on isError.
async function tool(name, args = {}) {
  const result = await client.callTool({ name, arguments: args });
  assert.equal(result.content.length, 1);
  assert.equal(result.content[0].type, "text");
  if (result.isError) {
    throw new Error(result.content[0].text);
  }
  return JSON.parse(result.content[0].text);
}

async function toolError(name, args) {
  const result = await client.callTool({ name, arguments: args });
  assert.equal(result.isError, true);
  return result.content[0].text;
}

await client.ping();

// A new assistant from a template, with a context and knowledge.
const assistant = await tool("create_assistant", { name: "Job hunt", template: "interview" });
assert.match(assistant.id, /^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$/);
assert.equal(assistant.template, "interview");
assert.ok(assistant.instructions.length > 0);

const context = await tool("create_context", { assistant: "job hunt", name: "Initech", stage: "Screening" });
assert.deepEqual(context.assistant, { id: assistant.id, name: "Job hunt" });

const file = await tool("add_file", { context: context.id, name: "company.md", content: "# Initech\nMakes TPS reports." });
assert.equal(file.words, 5);
const updatedFile = await tool("update_file", { file_id: file.id, content: "Initech makes reports." });
assert.equal(updatedFile.words, 3);
const contextDetail = await tool("get_context", { context: "Initech" });
assert.equal(contextDetail.files[0].content, "Initech makes reports.");

await tool("update_assistant", { assistant: assistant.id, style_notes: "Short answers." });

// Q&A bank.
const qa = await tool("add_qa", { assistant: "Job hunt", question: "Why do you want to join?", language: "en" });
assert.equal(qa.source, "manual");
const changedQa = await tool("update_qa", { qa: qa.id, answer: "The team and the problem." });
assert.equal(changedQa.answer, "The team and the problem.");
assert.equal(changedQa.question, "Why do you want to join?");
assert.equal(await toolError("update_qa", { qa: qa.id, language: "fr" }), "language must be pt, en or empty.");

// Recorded calls of the seeded assistant: newest first, then one in full.
const { calls } = await tool("list_calls", { assistant: "Recorded", limit: 2 });
assert.equal(calls.length, 2);
assert.ok(calls[0].started_at > calls[1].started_at);
assert.equal(calls[0].assistant, "Recorded");
assert.equal(calls[0].context, "Globex");
const call = await tool("get_call", { call: calls[0].id });
assert.ok(call.lines.length > 0);
assert.ok(call.lines.every((line) => line.speaker === "You" || line.speaker === "Other"));
const rated = await tool("set_call_outcome", { call: call.id, outcome: "positive", note: "Good rapport" });
assert.equal(rated.outcome, "positive");
assert.equal(rated.lines, undefined);
const fromCall = await tool("add_qa", { assistant: "Recorded", question: "What is your notice period?", call: call.id });
assert.equal(fromCall.source, call.id);
assert.equal(await toolError("list_calls", { assistant: "Recorded", context: "Globex" }),
  "Give assistant or context, not both.");
// The rated call's note is found again by its words.
const found = await tool("search_calls", { query: "rapport", context: "Globex" });
assert.deepEqual(found.calls.map((c) => [c.id, c.snippet]), [[call.id, "Good rapport"]]);

// Archive and restore.
assert.deepEqual(await tool("archive", { assistant: "Job hunt" }), { id: assistant.id, archived: true });
assert.equal((await tool("list_assistants")).assistants.some((a) => a.id === assistant.id), false);
assert.equal(await toolError("create_context", { assistant: "Job hunt", name: "Later" }),
  "Assistant is archived: Job hunt.");
assert.deepEqual(await tool("restore", { assistant: assistant.id }), { id: assistant.id, archived: false });
const detail = await tool("get_assistant", { assistant: "Job hunt" });
assert.equal(detail.style_notes, "Short answers.");
assert.equal(detail.qa.length, 1);
assert.equal(detail.contexts.length, 1);

assert.deepEqual(await tool("remove_file", { file_id: file.id }), { id: file.id, removed: true });
assert.equal(await toolError("no_such_tool", {}), "Unknown tool: no_such_tool.");

await client.close();
console.log("agent session passed");
