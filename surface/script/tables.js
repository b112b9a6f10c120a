    // ---- tables ----------------------------------------------------------------------

    // A table as a grid of cells with their spans; rows keep their element and
    // the section they belong to.
    function tableModel(table) {
        const rows = [...table.rows];
        const cells = [];
        const taken = [];
        rows.forEach((tr, r) => {
            let c = 0;
            for (const cell of tr.cells) {
                while (taken[r] && taken[r][c])
                    c++;
                const rs = Math.max(1, cell.rowSpan || 1), cs = Math.max(1, cell.colSpan || 1);
                cells.push({el: cell, r: r, c: c, rs: Math.min(rs, rows.length - r), cs: cs});
                for (let i = 0; i < rs; i++)
                    for (let j = 0; j < cs; j++) {
                        taken[r + i] = taken[r + i] || [];
                        taken[r + i][c + j] = true;
                    }
                c += cs;
            }
        });
        let width = 0;
        for (const cell of cells)
            width = Math.max(width, cell.c + cell.cs);
        return {rows: rows.map((tr) => ({el: tr, section: tr.parentElement})), cells: cells, width: width};
    }

    function newCell(tag) {
        const td = document.createElement(tag || 'td');
        td.appendChild(document.createElement('br'));
        return td;
    }

    function buildTable(table, m) {
        const copy = table.cloneNode(false);
        for (const child of table.children)
            if (!/^(THEAD|TBODY|TFOOT|TR)$/.test(child.tagName))
                copy.appendChild(child.cloneNode(true));
        const sections = new Map();
        m.rows.forEach((row, r) => {
            let target = copy;
            if (row.section && row.section !== table) {
                if (!sections.has(row.section))
                    sections.set(row.section, copy.appendChild(row.section.cloneNode(false)));
                target = sections.get(row.section);
            }
            const tr = target.appendChild(row.el ? row.el.cloneNode(false) : document.createElement('tr'));
            for (const cell of m.cells.filter((x) => x.r === r).sort((a, b) => a.c - b.c)) {
                const el = cell.el.cloneNode(true);
                if (cell.rs > 1) el.setAttribute('rowspan', cell.rs); else el.removeAttribute('rowspan');
                if (cell.cs > 1) el.setAttribute('colspan', cell.cs); else el.removeAttribute('colspan');
                tr.appendChild(el);
            }
        });
        return copy;
    }

    function replaceNode(node, html) {
        const r = document.createRange();
        r.selectNode(node);
        restoreRange(r);
        return html === null ? document.execCommand('delete') : document.execCommand('insertHTML', false, html);
    }

    qk.tableCommand = function (cmd) {
        const el = anchorElement();
        const cellEl = closest(el, 'td,th');
        const table = cellEl ? cellEl.closest('table') : null;
        if (!table)
            return {ok: false, snap: snapshot()};
        const m = tableModel(table);
        const me = m.cells.find((x) => x.el === cellEl);
        if (!me)
            return {ok: false, snap: snapshot()};
        let focusRow = me.r, focusCol = me.c;
        if (cmd === DECMD.INSERTROW) { // insert a row below the caret's cell
            const at = me.r + me.rs;
            for (const x of m.cells) {
                if (x.r >= at) x.r++;
                else if (x.r + x.rs > at) x.rs++;
            }
            const covered = new Set();
            for (const x of m.cells)
                if (x.r < at && x.r + x.rs > at)
                    for (let j = 0; j < x.cs; j++) covered.add(x.c + j);
            const ref = m.rows[at - 1];
            m.rows.splice(at, 0, {el: null, section: ref.section});
            for (let c = 0; c < m.width; c++)
                if (!covered.has(c))
                    m.cells.push({el: newCell(cellEl.tagName === 'TH' ? 'td' : 'td'), r: at, c: c, rs: 1, cs: 1});
            focusRow = at;
        } else if (cmd === DECMD.INSERTCOL) { // insert a column right of the caret's cell
            const at = me.c + me.cs;
            const spanned = new Set();
            for (const x of m.cells) {
                if (x.c >= at) x.c++;
                else if (x.c + x.cs > at) { x.cs++; for (let i = 0; i < x.rs; i++) spanned.add(x.r + i); }
            }
            for (let r = 0; r < m.rows.length; r++)
                if (!spanned.has(r))
                    m.cells.push({el: newCell('td'), r: r, c: at, rs: 1, cs: 1});
            m.width++;
            focusCol = at;
        } else if (cmd === DECMD.DELETEROWS) { // delete the caret's row
            const at = me.r;
            const kept = [];
            for (const x of m.cells) {
                if (x.r === at) {
                    if (x.rs > 1) { x.rs--; kept.push(x); } // moves down onto the next row
                } else {
                    if (x.r < at && x.r + x.rs > at) x.rs--;
                    if (x.r > at) x.r--;
                    kept.push(x);
                }
            }
            m.cells = kept;
            m.rows.splice(at, 1);
            focusRow = Math.min(at, m.rows.length - 1);
        } else if (cmd === DECMD.DELETECOLS) { // delete the caret's column
            const at = me.c;
            const kept = [];
            for (const x of m.cells) {
                if (x.c === at && x.cs === 1) continue;
                if (x.c <= at && x.c + x.cs > at) x.cs--;
                else if (x.c > at) x.c--;
                kept.push(x);
            }
            m.cells = kept;
            m.width--;
            focusCol = Math.min(at, m.width - 1);
        } else {
            return {ok: false, snap: snapshot()};
        }
        // Rows left without any cell of their own go too.
        const empty = m.width <= 0 || m.cells.length === 0;
        let ok;
        if (empty) {
            ok = replaceNode(table, null);
        } else {
            const built = buildTable(table, m);
            built.setAttribute('data-qk-new', '1');
            ok = replaceNode(table, built.outerHTML);
            const placed = document.querySelector('table[data-qk-new]');
            if (placed) {
                withQuiet(() => placed.removeAttribute('data-qk-new'));
                const nm = tableModel(placed);
                const target = nm.cells.find((x) => x.r <= focusRow && focusRow < x.r + x.rs &&
                                                    x.c <= focusCol && focusCol < x.c + x.cs) || nm.cells[0];
                if (target) {
                    const r = document.createRange();
                    r.selectNodeContents(target.el);
                    r.collapse(true);
                    restoreRange(r);
                }
            }
        }
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
    };
