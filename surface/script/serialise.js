    // ---- serialisation ------------------------------------------------------

    const LOCAL_ABSOLUTE = /^(\/|[A-Za-z]:[\\\/])/;

    function fileForm(value) {
        if (/^file:/i.test(value)) {
            let rest = value.replace(/^file:\/*/i, '');
            if (/^localhost\//i.test(rest))
                rest = rest.substring(9);
            // The escapes stay: the save decodes them once, where it makes
            // the path relative.
            return /^[A-Za-z]:/.test(rest) ? 'file:///' + rest : 'file:///' + rest.replace(/^\/+/, '');
        }
        if (value.startsWith('//'))
            return null; // a network-path reference, not a local file
        if (LOCAL_ABSOLUTE.test(value))
            return /^[A-Za-z]:/.test(value) ? 'file://' + value : 'file://' + value;
        return null;
    }

    function needsFileForm(root) {
        for (const attr of ['src', 'href', 'background']) {
            const els = [...root.querySelectorAll('[' + attr + ']')];
            if (root.hasAttribute && root.hasAttribute(attr))
                els.push(root);
            for (const el of els) {
                const v = el.getAttribute(attr);
                const f = fileForm(v);
                if (f !== null && f !== v)
                    return true;
            }
        }
        return false;
    }

    // A span or font the engine made and that lost the style it carried
    // (see paste.js) means nothing: its content is written in its place.
    // The page's own spans, bare or not, stay as they are.
    const engineWrappers = new Set();
    function isBareWrapper(n) {
        return engineWrappers.has(n) && !n.attributes.length;
    }

    // A deep copy of n without the engine's bare wrappers.
    function copyWithoutWrappers(n) {
        const copy = n.cloneNode(true);
        if (!engineWrappers.size)
            return copy;
        const a = document.createTreeWalker(n, NodeFilter.SHOW_ALL);
        const b = document.createTreeWalker(copy, NodeFilter.SHOW_ALL);
        const drop = [];
        for (let x = a.currentNode, y = b.currentNode; x && y; x = a.nextNode(), y = b.nextNode())
            if (x.nodeType === Node.ELEMENT_NODE && isBareWrapper(x))
                drop.push(y);
        for (const el of drop.reverse())
            el.replaceWith(...el.childNodes);
        return copy;
    }

    function withoutBareWrappers(n) {
        return engineWrappers.size && n.querySelector('span,font') ? copyWithoutWrappers(n).outerHTML : n.outerHTML;
    }

    function fixTree(root) {
        // Local references read as "file://" followed by the path. A path
        // from the root ("/about.html") may be a site's own address: the
        // program turns it into a file's only where that file exists.
        for (const attr of ['src', 'href', 'background'])
            for (const el of root.querySelectorAll('[' + attr + ']')) {
                const v = el.getAttribute(attr);
                const f = fileForm(v);
                if (f !== null && f !== v && !v.startsWith('/'))
                    el.setAttribute(attr, f);
            }
        for (const title of root.querySelectorAll('title'))
            for (const c of [...title.childNodes])
                if (c.nodeType !== Node.TEXT_NODE)
                    c.remove();
        // A list inside a paragraph or heading does not survive a reload: the
        // parser closes the paragraph. Split the block around the list.
        const blocks = 'P,H1,H2,H3,H4,H5,H6';
        let list;
        while ((list = [...root.querySelectorAll('ul,ol,dl,dir,menu')].find(
                    (l) => l.parentElement && l.parentElement.matches(blocks)))) {
            const block = list.parentElement;
            const after = block.cloneNode(false);
            after.removeAttribute('id');
            while (list.nextSibling)
                after.appendChild(list.nextSibling);
            block.after(list);
            list.after(after);
            if (!after.childNodes.length)
                after.remove();
            if (!block.childNodes.length)
                block.remove();
        }
        // Splitting a block copies its id; keep each id as often as the page had it.
        const seen = new Map();
        for (const el of root.querySelectorAll('[id]')) {
            const id = el.getAttribute('id');
            const n = (seen.get(id) || 0) + 1;
            seen.set(id, n);
            if (n > Math.max(1, loadedIdCounts.get(id) || 0))
                el.removeAttribute('id');
        }
    }

    // A title holds text only; an edit of it may leave a line break of the
    // engine's behind, which written out would read as text.
    function titleText(title) {
        return [...title.childNodes].filter((c) => c.nodeType === Node.TEXT_NODE);
    }

    function doctypeText(dt) {
        let t = '<!DOCTYPE ' + dt.name;
        if (dt.publicId)
            t += ' PUBLIC "' + dt.publicId + '"';
        if (dt.systemId)
            t += (dt.publicId ? ' "' : ' SYSTEM "') + dt.systemId + '"';
        return t + '>';
    }

    // The whole page as the engine writes it: only when no recipe can be made.
    qk.html = function () {
        const root = document.documentElement;
        let html = '';
        if (root) {
            const copy = copyWithoutWrappers(root);
            withoutAids(copy);
            fixTree(copy);
            html = copy.outerHTML;
        }
        const parts = [];
        for (const n of document.childNodes) {
            if (n.nodeType === Node.DOCUMENT_TYPE_NODE)
                parts.push(doctypeText(n));
            else if (n.nodeType === Node.COMMENT_NODE)
                parts.push('<!--' + n.data + '-->');
            else if (n === root)
                parts.push(html);
        }
        return parts.join('\r\n');
    };

    // Markup typed into the Insert HTML dialog is written as typed for as long
    // as the nodes it made are unchanged: the whole markup when the paste made
    // exactly what it reads as, else each element that came out as typed. The
    // program keeps the typed spelling of text (entities) wherever it went.
    function rememberFragment(html, records) {
        typedFragments.push(html);
        const added = [];
        for (const r of records)
            if (r.type === 'childList')
                for (const n of r.addedNodes)
                    if (n.isConnected && !added.includes(n))
                        added.push(n);
        const top = added.filter((n) => !added.some((o) => o !== n && o.contains(n)));
        if (!top.length)
            return;
        top.sort((a, b) => (a.compareDocumentPosition(b) & Node.DOCUMENT_POSITION_FOLLOWING) ? -1 : 1);
        // Markup that leaves an element open (an unclosed <b>) would take in
        // what follows it in the page; it is written as the engine has it.
        const probe = document.createElement('template');
        probe.innerHTML = html + '<q-end></q-end>';
        if (!probe.content.lastChild || probe.content.lastChild.localName !== 'q-end')
            return;
        const typed = document.createElement('template');
        typed.innerHTML = html;
        const parts = [...typed.content.childNodes];
        const recs = top.map((n) => {
            const made = {intact: true};
            fragmentOf.set(n, made);
            // Local files are written in the form the save makes relative.
            if (n.nodeType === Node.ELEMENT_NODE && !needsFileForm(n)) {
                const k = parts.findIndex((t) => t.nodeType === Node.ELEMENT_NODE && t.outerHTML === n.outerHTML);
                if (k >= 0)
                    typedNodes.set(n, {fragment: typedFragments.length - 1, k: k, made: made});
            }
            return made;
        });
        for (let i = 1; i < top.length; i++)
            if (top[i - 1].nextSibling !== top[i])
                return;
        const made = document.createElement('template');
        for (const n of top)
            made.content.appendChild(n.cloneNode(true));
        if (made.innerHTML === typed.innerHTML && !top.some((n) => n.nodeType === Node.ELEMENT_NODE && needsFileForm(n))) {
            fragments.set(top[0], {nodes: top, text: html, recs: recs});
            ++fragmentCount;
        }
    }

    function fragmentIntact(f) {
        if (!f.recs.every((made) => made.intact))
            return false;
        for (let i = 0; i < f.nodes.length; i++)
            if (!f.nodes[i].isConnected || (i > 0 && f.nodes[i - 1].nextSibling !== f.nodes[i]))
                return false;
        return true;
    }

    qk.wholePage = function () {
        try {
            flushMutations();
            return {ok: true, html: qk.html(), changes: changeCount};
        } catch (e) {
            return {ok: false, error: String((e && e.message) || e)};
        }
    };

    // Ids to leave out when writing: copies an edit made of an id the page had
    // fewer times (a split block copies its id), in document order.
    function idsToDrop() {
        const drop = new Set();
        const ids = touchedIds.size <= 20 ? touchedIds : new Set([...document.querySelectorAll('[id]')].map((e) => e.id));
        for (const id of ids) {
            const all = document.querySelectorAll('[id="' + CSS.escape(id) + '"]');
            const allowed = Math.max(1, loadedIdCounts.get(id) || 0);
            for (let i = allowed; i < all.length; i++)
                drop.add(all[i]);
        }
        return drop;
    }

    const SPLIT_BLOCKS = new Set(['p', 'h1', 'h2', 'h3', 'h4', 'h5', 'h6']);
    const LISTS = new Set(['ul', 'ol', 'dl', 'dir', 'menu']);

    // The recipe: the page as the program assembles it. An item is a number
    // (a node unchanged since the walk, copied from the source), or
    // {e: number, a: attributes if changed, c: children} for a node of the
    // walk whose inside changed, {t: text, n: number of the text it was, k:
    // kind} for text, {f: name, a: attributes, c: children} for a new element,
    // {h: html} for new markup written as it stands, {m: text} for a comment.
    function recipeWriter() {
        const changedPath = new Set();
        const changedUnder = new Map(); // parent -> its children on the changed path
        const mark = (n) => {
            for (; n && !changedPath.has(n); n = n.parentNode) {
                changedPath.add(n);
                const p = n.parentNode;
                if (p)
                    changedUnder.has(p) ? changedUnder.get(p).push(n) : changedUnder.set(p, [n]);
            }
        };
        for (const set of [changedAttrs, changedData, changedKids])
            for (const n of set)
                if (n.isConnected)
                    mark(n);
        const drop = idsToDrop();
        for (const el of drop)
            mark(el);

        const attrs = (el, withoutId) => {
            const out = [];
            for (const a of el.attributes)
                if (!(withoutId && a.name === 'id'))
                    out.push([a.name, a.value]);
            return out;
        };

        // Pushes the items for n; true when none of them holds source.
        function emit(n, out) {
            const id = idOf.get(n);
            // The common case first, with as few calls into the page as may
            // be: a node unchanged since the walk (text that stood in script
            // or style has its kind checked below).
            if (id !== undefined && !changedPath.has(n) && !(notWhole.size && notWhole.has(id)) &&
                !textKindAtLoad.has(n)) {
                out.push(id);
                return false;
            }
            if (ours.has(n))
                return true;
            const type = n.nodeType;
            if (type === Node.TEXT_NODE || type === Node.CDATA_SECTION_NODE) {
                const kind = textKind(n.parentNode);
                const sameKind = (textKindAtLoad.get(n) || 0) === kind;
                if (id !== undefined && sameKind && !changedPath.has(n)) {
                    out.push(id);
                    return false;
                }
                const item = {t: n.data};
                if (id !== undefined && sameKind) {
                    item.n = id;
                    // White space the engine may drop or harden at the edge of
                    // a block is invisible there; the program keeps the source's.
                    const parent = n.parentElement;
                    const style = parent ? getComputedStyle(parent) : null;
                    if (style && !/^pre/.test(style.whiteSpace) && style.whiteSpace !== 'break-spaces') {
                        item.ws = 1;
                        if (style.display !== 'inline') {
                            if (!n.previousSibling)
                                item.bs = 1;
                            if (!n.nextSibling)
                                item.be = 1;
                        }
                    }
                }
                if (kind)
                    item.k = kind;
                out.push(item);
                return item.n === undefined;
            }
            if (type === Node.COMMENT_NODE) {
                if (id !== undefined && !changedPath.has(n)) {
                    out.push(id);
                    return false;
                }
                out.push({m: n.data});
                return true;
            }
            if (type !== Node.ELEMENT_NODE)
                return true;
            if (id !== undefined && !changedPath.has(n) && !(notWhole.size && notWhole.has(id))) {
                out.push(id);
                return false;
            }
            if (id === undefined && isBareWrapper(n))
                return emitChildren(childrenOf(n), out);
            const withoutId = drop.has(n);
            const typedAs = id === undefined && !withoutId ? typedNodes.get(n) : undefined;
            if (typedAs && typedAs.made.intact) {
                out.push({y: typedAs.fragment, k: typedAs.k, tag: n.localName, h: n.outerHTML});
                return true;
            }
            const changedAttributes = id === undefined || withoutId || changedAttrs.has(n);
            if (SPLIT_BLOCKS.has(n.localName) && [...n.children].some((c) => LISTS.has(c.localName)))
                return emitSplit(n, out, id, withoutId || changedAttributes);
            const kids = [];
            const fresh = n.localName === 'title' ? emitChildren(titleText(n), kids)
                                                  : emitChildren(childrenOf(n), kids, n);
            if (id !== undefined) {
                const item = {e: id, c: kids};
                if (changedAttributes)
                    item.a = attrs(n, withoutId);
                out.push(item);
                return false;
            }
            // Markup without anything of the source in it goes as the engine
            // writes it, unless a reference in it must be read as a local file.
            if (fresh && !withoutId && !needsFileForm(n) && !n.querySelector('[id]')) {
                out.push({h: withoutBareWrappers(n)});
                return true;
            }
            out.push({f: n.localName, a: attrs(n, withoutId), c: kids});
            return fresh;
        }

        // A list inside a paragraph or heading does not survive a reload: the
        // parser closes the block before the list. Write the block split
        // around its lists, as the page will read.
        function emitSplit(n, out, id, changedAttributes) {
            let part = [];
            let first = true;
            const flush = () => {
                if (part.length) {
                    if (first && id !== undefined) {
                        const item = {e: id, c: part};
                        if (changedAttributes)
                            item.a = attrs(n, drop.has(n));
                        out.push(item);
                    } else {
                        out.push({f: n.localName, a: attrs(n, first ? drop.has(n) : true), c: part});
                    }
                }
                first = false;
                part = [];
            };
            for (const c of childrenOf(n)) {
                if (c.nodeType === Node.ELEMENT_NODE && LISTS.has(c.localName)) {
                    flush();
                    emit(c, out);
                } else {
                    emit(c, part);
                }
            }
            flush();
            return false;
        }

        // The items of a long list of children that is as it was loaded but
        // for the few on the changed path, without a look at the rest: the
        // children between those go as runs, told by their numbers. Null
        // when the list is not such a list.
        function unchangedAround(parent, list) {
            if (!parent || changedKids.has(parent) || !idOf.has(parent) ||
                unevenParents.has(parent) || parent.localName === 'html' || parent.localName === 'head' ||
                parent.localName === 'template')
                return null;
            const changed = changedUnder.get(parent) || [];
            if (changed.some((c) => !idOf.has(c)))
                return null;
            changed.sort((a, b) => idOf.get(a) - idOf.get(b));
            const plan = [];
            let from = list[0];
            for (const c of [...changed, null]) {
                const to = c ? c.previousSibling : list[list.length - 1];
                if (from && to && from !== c && (!c || to !== from.previousSibling)) {
                    const first = idOf.get(from), last = idOf.get(to);
                    if (first === undefined || last === undefined || last < first)
                        return null;
                    const count = placeAt[last] - placeAt[first] + 1;
                    plan.push(count > 1 ? {r: [first, last, count]} : first);
                }
                if (c)
                    plan.push(c);
                from = c ? c.nextSibling : null;
            }
            return plan;
        }

        // Unchanged nodes that followed each other at load go as one run
        // {r: [first, last, count]}, copied from the source in one piece.
        function emitChildren(list, out, parent) {
            const plan = unchangedAround(parent, list);
            if (plan) {
                let fresh = true;
                for (const step of plan) {
                    if (step instanceof Node) {
                        fresh = emit(step, out) && fresh;
                    } else {
                        out.push(step);
                        fresh = false;
                    }
                }
                return fresh;
            }
            let fresh = true;
            let run = null;
            const endRun = () => {
                if (run)
                    out.push(run.count > 1 ? {r: [run.first, run.lastId, run.count]} : run.first);
                run = null;
            };
            for (let i = 0; i < list.length; i++) {
                const n = list[i];
                const f = fragmentCount ? fragments.get(n) : undefined;
                if (f && fragmentIntact(f)) {
                    endRun();
                    out.push({h: f.text});
                    i += f.nodes.length - 1;
                    continue;
                }
                const before = out.length;
                fresh = emit(n, out) && fresh;
                if (out.length === before + 1 && typeof out[before] === 'number') {
                    const id = out.pop();
                    if (run && nextIdAt[run.lastId] === id) {
                        run.last = n;
                        run.lastId = id;
                        run.count++;
                    } else {
                        endRun();
                        run = {first: id, last: n, lastId: id, count: 1};
                    }
                } else if (out.length > before) {
                    const added = out.splice(before);
                    endRun();
                    out.push(...added);
                }
            }
            endRun();
            return fresh;
        }

        return () => {
            const out = [];
            emitChildren(document.childNodes, out);
            return out;
        };
    }

    qk.recipe = function () {
        try {
            flushMutations();
            if (!indexed || modelBroken)
                return {ok: false, error: 'the page changed before it was numbered'};
            return {ok: true, recipe: JSON.stringify({items: recipeWriter()(), typed: typedFragments}),
                    changes: changeCount};
        } catch (e) {
            return {ok: false, error: String((e && e.message) || e)};
        }
    };

    // After a save: the references as written, the folder the page now lives
    // in, and a new walk over the page as saved. Nothing here is an edit.
    qk.saved = function (info) {
        flushMutations();
        if (info.changes !== changeCount)
            return {ok: false, snap: snapshot()}; // changed meanwhile: the page stays changed
        // References to local files may stay absolute in the page: they name
        // the same files, and the source keeps them as written. Relative ones
        // written for a new folder follow it, with the folder as the base.
        const relative = info.relative || {};
        if (Object.keys(relative).length || info.base) {
            withQuiet(() => {
                // The base first: a style element's addresses resolve once,
                // against the base as its text is set.
                if (info.base)
                    setBase(info.base);
                if (Object.keys(relative).length) {
                    for (const attr of ['src', 'href', 'background', 'srcset', 'style'])
                        for (const el of document.querySelectorAll('[' + attr + ']')) {
                            const to = relative[el.getAttribute(attr)];
                            if (to !== undefined)
                                el.setAttribute(attr, to);
                        }
                    for (const style of document.querySelectorAll('style'))
                        if (!ours.has(style) && relative[style.textContent] !== undefined)
                            style.textContent = relative[style.textContent];
                }
            });
        }
        // The page as saved is numbered afresh before anything changes it:
        // once it has been shown again, or at the first edit, whichever comes first.
        nextIdAt = [];
        placeAt = [];
        unevenParents = new Set();
        textKindAtLoad = new WeakMap();
        fragments = new WeakMap();
        fragmentCount = 0;
        fragmentOf = new WeakMap();
        typedNodes = new WeakMap();
        typedFragments = [];
        notWhole = new Set();
        changedAttrs = new Set();
        changedData = new Set();
        changedKids = new Set();
        touchedIds.clear();
        loadedIdCounts.clear();
        for (const el of document.querySelectorAll('[id]'))
            loadedIdCounts.set(el.id, (loadedIdCounts.get(el.id) || 0) + 1);
        modelBroken = false;
        indexed = false;
        walk = null;
        walkNodes = null;
        indexWhenShown();
        // Typing after the save is a new step to undo, not the end of the
        // typing before it.
        const sel = getSelection();
        if (sel.rangeCount) {
            const r = sel.getRangeAt(0).cloneRange();
            sel.removeAllRanges();
            sel.addRange(r);
        }
        dirty = false;
        return {ok: true, snap: snapshot()};
    };

    // Relative references resolve against the folder the page is saved in,
    // through a base element of our own that is never written.
    function setBase(folderUrl) {
        const own = [...document.querySelectorAll('base[href]')].find((b) => !ours.has(b));
        if (own || !document.head)
            return;
        let base = [...document.head.children].find((b) => ours.has(b));
        if (!base) {
            base = document.createElement('base');
            base.setAttribute('data-quillon-kiv', '');
            ours.add(base);
            document.head.insertBefore(base, document.head.firstChild);
        }
        base.setAttribute('href', folderUrl);
    }

    qk.setBase = function (folderUrl) {
        withQuiet(() => setBase(folderUrl));
        return true;
    };
